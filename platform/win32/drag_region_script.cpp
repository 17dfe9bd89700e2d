#include "platform/win32/drag_region_script.h"

#include "platform/win32/binding_bridge.h"

namespace webview2 {

namespace {

constexpr char kDragRuntime[] = R"JS(
  if (window !== window.top) return;
  const declaration = /(?:^|[;\s{])(?:-webkit-)?app-region\s*:\s*(no-drag|drag)\b/i;
  // [selector, draggable] for every style rule that declares a region, in document order.
  const declaredRules = () => {
    const rules = [];
    for (const style of document.querySelectorAll("style")) {
      const css = style.textContent.replace(/\/\*[\s\S]*?\*\//g, "");
      for (const match of css.matchAll(/([^{}]+)\{([^{}]*)\}/g)) {
        const region = declaration.exec(";" + match[2]);
        if (region) rules.push([match[1].trim(), region[1].toLowerCase() === "drag"]);
      }
    }
    return rules;
  };
  // true / false when the element itself declares a region, null when it does not.
  const ownRegion = (element, rules) => {
    const inline = declaration.exec(";" + (element.getAttribute("style") || ""));
    if (inline) return inline[1].toLowerCase() === "drag";
    let region = null;
    for (const [selector, draggable] of rules) {
      try {
        if (element.matches(selector)) region = draggable;  // a later rule overrides
      } catch (ignored) {
        // a selector the engine cannot read declares nothing
      }
    }
    return region;
  };
  const insideDragRegion = (target) => {
    const rules = declaredRules();
    for (let element = target; element instanceof Element; element = element.parentElement) {
      const region = ownRegion(element, rules);
      if (region !== null) return region;
    }
    return false;
  };
  window.addEventListener("mousedown", (event) => {
    if (event.button === 0 && insideDragRegion(event.target)) {
      window.chrome.webview.postMessage({token, drag: true});
    }
  }, true);
)JS";

}  // namespace

std::string DragRegionScript(const std::string& token) {
  return "(() => {\n  const token = " + ScriptString(token) + ";" + kDragRuntime + "})();\n";
}

}  // namespace webview2

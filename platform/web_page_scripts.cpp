#include "platform/web_page_scripts.h"

#include <nlohmann/json.hpp>

namespace platform::web_page {

namespace {

constexpr char kBridgeRuntime[] = R"JS(
  if (window !== window.top || window.__velmoraBridge) return;
  const pending = new Map();
  let lastId = 0;
  const settle = (id, resolved, text) => {
    const call = pending.get(id);
    if (!call) return;
    pending.delete(id);
    if (!resolved) {
      call.reject(new Error(text));
      return;
    }
    let value;
    try {
      value = JSON.parse(text);
    } catch (ignored) {
      call.reject(new Error("Failed to parse binding result as JSON"));
      return;
    }
    call.resolve(value);
  };
  const call = (name, args) => new Promise((resolve, reject) => {
    const id = ++lastId;
    pending.set(id, {resolve, reject});
    post({token, id, name, args: JSON.stringify(args)});
  });
  Object.defineProperty(window, "__velmoraBridge", {value: Object.freeze({call, settle})});
)JS";

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
    if (event.button === 0 && insideDragRegion(event.target)) post({token, drag: true});
  }, true);
)JS";

// Wraps `runtime` so that it sees `token` and `post` as constants of its own.
std::string Enclose(const std::string& token, const std::string& post, const char* runtime) {
  return "(() => {\n  const token = " + ScriptString(token) + ";\n  const post = " + post + ";" +
         runtime + "})();\n";
}

std::string SettleScript(std::uint64_t id, bool resolved, const std::string& text) {
  return "window.__velmoraBridge && window.__velmoraBridge.settle(" + std::to_string(id) + ", " +
         (resolved ? "true" : "false") + ", " + ScriptString(text) + ");";
}

}  // namespace

std::string ScriptString(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', true, nlohmann::json::error_handler_t::replace);
}

std::string BridgeScript(const std::string& token, const std::string& post) {
  return Enclose(token, post, kBridgeRuntime);
}

std::string BindingScript(const std::string& name) {
  const std::string literal = ScriptString(name);
  return "(() => {\n  if (window !== window.top || !window.__velmoraBridge) return;\n  window[" +
         literal + "] = (...args) => window.__velmoraBridge.call(" + literal + ", args);\n})();\n";
}

std::string DragRegionScript(const std::string& token, const std::string& post) {
  return Enclose(token, post, kDragRuntime);
}

std::string ResolveScript(std::uint64_t id, const std::string& reply) {
  return SettleScript(id, true, reply);
}

std::string RejectScript(std::uint64_t id, const std::string& message) {
  return SettleScript(id, false, message);
}

}  // namespace platform::web_page

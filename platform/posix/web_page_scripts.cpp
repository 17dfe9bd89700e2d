#include "platform/posix/web_page_scripts.h"

#include <nlohmann/json.hpp>

namespace platform::web_page {

namespace {

std::string JsString(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', true, nlohmann::json::error_handler_t::replace);
}

constexpr char kBridgeRuntime[] = R"js(
  const channel = window.webkit.messageHandlers[CHANNEL];
  const call = (name, args) =>
    channel.postMessage(JSON.stringify({token: TOKEN, name, request: JSON.stringify(args)}))
      .then((encoded) => {
        const reply = JSON.parse(encoded);
        try {
          return JSON.parse(reply);
        } catch (ignored) {
          throw new Error("Failed to parse binding result as JSON");
        }
      }, (failure) => {
        throw failure instanceof Error ? failure : new Error(String(failure));
      });
)js";

constexpr char kDragRuntime[] = R"js(
  const channel = window.webkit.messageHandlers[CHANNEL];
  const declaration = /(?:-webkit-)?app-region\s*:\s*(no-drag|drag)/;
  const declaredRules = () => {
    const rules = [];
    for (const sheet of document.querySelectorAll("style")) {
      const css = sheet.textContent.replace(/\/\*[\s\S]*?\*\//g, "");
      for (const [, selector, body] of css.matchAll(/([^{}]+)\{([^{}]*)\}/g)) {
        const region = declaration.exec(body);
        if (region) rules.push({selector: selector.trim(), drag: region[1] === "drag"});
      }
    }
    return rules;
  };
  const declaredRegion = (element, rules) => {
    const inline = declaration.exec(element.getAttribute("style") || "");
    if (inline) return inline[1] === "drag";
    let region = null;  // the last matching rule wins, as later rules do in a style sheet
    for (const rule of rules) {
      try {
        if (element.matches(rule.selector)) region = rule.drag;
      } catch (ignored) {
        // a selector this engine does not understand declares nothing
      }
    }
    return region;
  };
  const isDragRegion = (target) => {
    const rules = declaredRules();
    for (let element = target; element instanceof Element; element = element.parentElement) {
      const region = declaredRegion(element, rules);
      if (region !== null) return region;
    }
    return false;
  };
  window.addEventListener("mousedown", (event) => {
    if (event.button === 0 && isDragRegion(event.target)) channel.postMessage(TOKEN);
  }, true);
)js";

std::string Fill(std::string script, const std::string& channel, const std::string& token) {
  for (const auto& [marker, value] : {std::pair{std::string("CHANNEL"), JsString(channel)},
                                      std::pair{std::string("TOKEN"), JsString(token)}}) {
    for (std::size_t at = script.find(marker); at != std::string::npos;
         at = script.find(marker, at + value.size())) {
      script.replace(at, marker.size(), value);
    }
  }
  return script;
}

}  // namespace

std::string BridgeScript(const std::string& token, const std::vector<std::string>& names) {
  std::string script = "(() => {" + Fill(kBridgeRuntime, kCallChannel, token);
  for (const std::string& name : names) {
    const std::string quoted = JsString(name);
    script += "  window[" + quoted + "] = (...args) => call(" + quoted + ", args);\n";
  }
  return script + "})();\n";
}

std::string DragRegionScript(const std::string& token) {
  return "(() => {" + Fill(kDragRuntime, kDragChannel, token) + "})();\n";
}

}  // namespace platform::web_page

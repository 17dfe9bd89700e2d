#include "platform/win32/binding_bridge.h"

#include <nlohmann/json.hpp>

namespace webview2 {

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
    window.chrome.webview.postMessage({token, id, name, args: JSON.stringify(args)});
  });
  Object.defineProperty(window, "__velmoraBridge", {value: Object.freeze({call, settle})});
)JS";

std::string SettleScript(std::uint64_t id, bool resolved, const std::string& text) {
  return "window.__velmoraBridge && window.__velmoraBridge.settle(" + std::to_string(id) + ", " +
         (resolved ? "true" : "false") + ", " + ScriptString(text) + ");";
}

std::optional<BindingCall> ParseCall(const nlohmann::json& message) {
  const auto id = message.find("id");
  const auto name = message.find("name");
  const auto args = message.find("args");
  if (id == message.end() || !id->is_number_unsigned()) return std::nullopt;
  if (name == message.end() || !name->is_string()) return std::nullopt;
  if (args == message.end() || !args->is_string()) return std::nullopt;
  return BindingCall{id->get<std::uint64_t>(), name->get<std::string>(), args->get<std::string>()};
}

}  // namespace

std::string ScriptString(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', true, nlohmann::json::error_handler_t::replace);
}

std::string BridgeScript(const std::string& token) {
  return "(() => {\n  const token = " + ScriptString(token) + ";" + kBridgeRuntime + "})();\n";
}

std::string BindingScript(const std::string& name) {
  const std::string literal = ScriptString(name);
  return "(() => {\n  if (window !== window.top || !window.__velmoraBridge) return;\n  window[" +
         literal + "] = (...args) => window.__velmoraBridge.call(" + literal + ", args);\n})();\n";
}

std::optional<PageMessage> ParsePageMessage(const std::string& messageJson,
                                            const std::string& token) {
  const nlohmann::json message = nlohmann::json::parse(messageJson, nullptr, false);
  if (!message.is_object()) return std::nullopt;
  const auto sender = message.find("token");
  if (sender == message.end() || !sender->is_string() || *sender != token) return std::nullopt;
  const auto drag = message.find("drag");
  if (drag != message.end() && *drag == true) return PageMessage{PageMessage::Kind::Drag, {}};
  std::optional<BindingCall> call = ParseCall(message);
  if (!call) return std::nullopt;
  return PageMessage{PageMessage::Kind::Call, std::move(*call)};
}

std::string ResolveScript(std::uint64_t id, const std::string& reply) {
  return SettleScript(id, true, reply);
}

std::string RejectScript(std::uint64_t id, const std::string& message) {
  return SettleScript(id, false, message);
}

}  // namespace webview2

#include "platform/web_bridge.h"

#include <cstdio>
#include <exception>
#include <nlohmann/json.hpp>
#include <random>
#include <utility>

#include "log/log.h"
#include "platform/web_page_scripts.h"

namespace platform {

namespace {

std::optional<BridgeCall> ParseCall(const nlohmann::json& message) {
  const auto id = message.find("id");
  const auto name = message.find("name");
  const auto args = message.find("args");
  if (id == message.end() || !id->is_number_unsigned()) return std::nullopt;
  if (name == message.end() || !name->is_string()) return std::nullopt;
  if (args == message.end() || !args->is_string()) return std::nullopt;
  return BridgeCall{id->get<std::uint64_t>(), name->get<std::string>(), args->get<std::string>()};
}

}  // namespace

std::optional<PageMessage> ParsePageMessage(const std::string& json, const std::string& token) {
  const nlohmann::json message = nlohmann::json::parse(json, nullptr, false);
  if (!message.is_object()) return std::nullopt;
  const auto sender = message.find("token");
  if (sender == message.end() || !sender->is_string() || *sender != token) return std::nullopt;
  const auto drag = message.find("drag");
  if (drag != message.end() && *drag == true) return PageMessage{PageMessage::Kind::Drag, {}};
  std::optional<BridgeCall> call = ParseCall(message);
  if (!call) return std::nullopt;
  return PageMessage{PageMessage::Kind::Call, std::move(*call)};
}

std::string RandomToken() {
  std::random_device source;
  std::string token;
  for (int i = 0; i < 4; ++i) {
    char chunk[9];
    std::snprintf(chunk, sizeof(chunk), "%08x", static_cast<unsigned>(source()));
    token += chunk;
  }
  return token;
}

WebBridge::WebBridge(WebEngine& engine, std::string token)
    : engine_(engine), token_(std::move(token)) {
  const std::string post = engine_.PostFunction();
  engine_.AddDocumentScript(web_page::BridgeScript(token_, post));
  engine_.AddDocumentScript(web_page::DragRegionScript(token_, post));
}

void WebBridge::Bind(const std::string& name, WebWindow::Binding function) {
  const bool added = bindings_.find(name) == bindings_.end();
  bindings_[name] = std::move(function);
  if (added) engine_.AddDocumentScript(web_page::BindingScript(name));
}

void WebBridge::OnPageMessage(const std::string& json, const std::string&) {
  std::optional<PageMessage> message = ParsePageMessage(json, token_);
  if (!message) return;
  if (message->kind == PageMessage::Kind::Drag) {
    engine_.StartDrag();
    return;
  }
  queue_.push_back(std::move(message->call));
  engine_.ScheduleCalls();
}

void WebBridge::RunQueuedCalls() {
  if (answering_) return;
  answering_ = true;
  while (!queue_.empty()) {
    const BridgeCall call = std::move(queue_.front());
    queue_.pop_front();
    Answer(call);
  }
  answering_ = false;
}

void WebBridge::Forget() {
  queue_.clear();
}

void WebBridge::Answer(const BridgeCall& call) {
  const auto binding = bindings_.find(call.name);
  if (binding == bindings_.end()) {
    engine_.RunScript(web_page::RejectScript(call.id, "Not a bound function"));
    return;
  }
  std::string failure;
  try {
    const std::string reply = binding->second(call.request);
    engine_.RunScript(web_page::ResolveScript(call.id, reply));
    return;
  } catch (const std::exception& exception) {
    failure = exception.what();
  } catch (...) {
    failure = "unknown error";
  }
  LogErrorAs("WebWindow", "Bound function %s failed: %s", call.name.c_str(), failure.c_str());
  engine_.RunScript(web_page::RejectScript(call.id, failure));
}

}  // namespace platform

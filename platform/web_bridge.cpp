#include "platform/web_bridge.h"

#include <algorithm>
#include <cctype>
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

bool OpensInBrowser(const std::string& uri, bool userInitiated) {
  if (!userInitiated) return false;
  std::string start = uri.substr(0, 8);
  std::transform(start.begin(), start.end(), start.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return start.rfind("http://", 0) == 0 || start.rfind("https://", 0) == 0;
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

WebBridge::WebBridge(WebEngine& engine, std::string token, Opener opener)
    : engine_(engine), token_(std::move(token)), opener_(std::move(opener)) {
  const std::string post = engine_.PostFunction();
  engine_.AddDocumentScript(web_page::BridgeScript(token_, post));
  engine_.AddDocumentScript(web_page::DragRegionScript(token_, post));
}

void WebBridge::Bind(const std::string& name, WebWindow::Binding function) {
  const bool added = bindings_.find(name) == bindings_.end();
  bindings_[name] = std::move(function);
  if (added) engine_.AddDocumentScript(web_page::BindingScript(name));
}

void WebBridge::LoadOwnPage(const std::string& html) {
  ownHtml_ = html;
  ownPage_ = OwnPage::Requested;
  ownDocument_.reset();
  engine_.LoadHtml(html);
}

bool WebBridge::OnTopLevelNavigation(const std::string& uri) {
  if (ownPage_ == OwnPage::Requested) {
    ownPage_ = OwnPage::Loading;
    return true;
  }
  LogErrorAs("WebWindow", "Refused navigation of the launcher window to %s", uri.c_str());
  return false;
}

void WebBridge::OnDocumentShown(const std::string& uri) {
  // An engine may not announce its own page's navigation; a requested page is still ours.
  if (ownPage_ != OwnPage::Shown) {
    ownPage_ = OwnPage::Shown;
    ownDocument_ = uri;
    return;
  }
  // Every other navigation is refused before it starts, so this is an engine letting one through:
  // the foreign document gets no answer, and the launcher's page comes back, from the loop rather
  // than from inside the engine's event.
  ownDocument_.reset();
  LogErrorAs("WebWindow", "The launcher's page was replaced by %s; loading it again", uri.c_str());
  reloadOwnPage_ = true;
  engine_.ScheduleCalls();
}

void WebBridge::OnNewWindowRequested(const std::string& uri, bool userInitiated) {
  if (!OpensInBrowser(uri, userInitiated)) {
    LogErrorAs("WebWindow", "Refused a new window for %s", uri.c_str());
    return;
  }
  // Starting the browser may take a while: from the loop, not inside the engine's event.
  browserAddresses_.push_back(uri);
  engine_.ScheduleCalls();
}

void WebBridge::OpenInBrowser(const std::string& uri) {
  if (opener_(uri)) {
    LogInfoAs("WebWindow", "Opened %s in the default browser", uri.c_str());
  } else {
    LogErrorAs("WebWindow", "Could not open %s in the default browser", uri.c_str());
  }
}

void WebBridge::OnPageMessage(const std::string& json, const std::string& source) {
  std::optional<PageMessage> message = ParsePageMessage(json, token_);
  if (!message) return;
  if (!ownDocument_ || source != *ownDocument_) {
    LogErrorAs("WebWindow", "Refused a message from %s, which is not the launcher's page",
               source.c_str());
    return;
  }
  if (message->kind == PageMessage::Kind::Drag) {
    engine_.StartDrag();
    return;
  }
  queue_.push_back(std::move(message->call));
  engine_.ScheduleCalls();
}

void WebBridge::RunQueuedCalls() {
  if (answering_) return;
  if (reloadOwnPage_) {
    reloadOwnPage_ = false;
    if (!ownHtml_.empty()) LoadOwnPage(ownHtml_);
  }
  answering_ = true;
  while (!browserAddresses_.empty()) {
    const std::string uri = std::move(browserAddresses_.front());
    browserAddresses_.pop_front();
    OpenInBrowser(uri);
  }
  while (!queue_.empty()) {
    const BridgeCall call = std::move(queue_.front());
    queue_.pop_front();
    Answer(call);
  }
  answering_ = false;
}

void WebBridge::Forget() {
  queue_.clear();
  browserAddresses_.clear();
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

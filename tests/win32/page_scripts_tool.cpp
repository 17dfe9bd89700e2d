// Prints the scripts the Windows web window puts into its page (platform/win32), so that
// page_scripts.test.mjs can run them in Chromium, the engine WebView2 is made of.
//
// Reads one JSON request from standard input:
//   {"token": "...", "names": ["api_x", ...],
//    "settle": [{"id": 1, "resolved": true, "hex": "<the reply's bytes in hexadecimal>"}, ...]}
// and writes {"bridge": "...", "drag": "...", "bindings": [...], "settle": [...]}.
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/win32/binding_bridge.h"
#include "platform/win32/drag_region_script.h"

namespace {

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (std::size_t at = 0; at + 1 < hex.size(); at += 2) {
    bytes += static_cast<char>(std::stoi(hex.substr(at, 2), nullptr, 16));
  }
  return bytes;
}

}  // namespace

int main() {
  const std::string input{std::istreambuf_iterator<char>(std::cin),
                          std::istreambuf_iterator<char>()};
  const nlohmann::json request = nlohmann::json::parse(input);
  const std::string token = request.at("token");
  nlohmann::json scripts = {{"bridge", webview2::BridgeScript(token)},
                            {"drag", webview2::DragRegionScript(token)},
                            {"bindings", nlohmann::json::array()},
                            {"settle", nlohmann::json::array()}};
  for (const std::string name : request.at("names")) {
    scripts["bindings"].push_back(webview2::BindingScript(name));
  }
  for (const nlohmann::json& settle : request.at("settle")) {
    const std::uint64_t id = settle.at("id");
    const std::string text = FromHex(settle.at("hex"));
    scripts["settle"].push_back(settle.at("resolved") ? webview2::ResolveScript(id, text)
                                                      : webview2::RejectScript(id, text));
  }
  // The scripts are ASCII (non-ASCII text is escaped), so they print as they are.
  std::cout << scripts.dump() << '\n';
  return 0;
}

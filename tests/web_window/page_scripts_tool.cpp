// Prints the scripts the web window puts into its page (platform/web_page_scripts.cpp), so that
// page_scripts.test.mjs can run them in Chromium.
//
// Reads one JSON request from standard input:
//   {"token": "...", "engine": "webview2" | "webkit", "names": ["api_x", ...],
//    "settle": [{"id": 1, "resolved": true, "hex": "<the reply's bytes in hexadecimal>"}, ...]}
// and writes {"bridge": "...", "drag": "...", "bindings": [...], "settle": [...]}, the scripts as
// that engine's window makes them.
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/web_page_scripts.h"

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
  namespace page = platform::web_page;
  const std::string input{std::istreambuf_iterator<char>(std::cin),
                          std::istreambuf_iterator<char>()};
  const nlohmann::json request = nlohmann::json::parse(input);
  const std::string token = request.at("token");
  const std::string post =
      request.value("engine", "webview2") == "webkit" ? page::kWebKitPost : page::kWebView2Post;
  nlohmann::json scripts = {{"bridge", page::BridgeScript(token, post)},
                            {"drag", page::DragRegionScript(token, post)},
                            {"bindings", nlohmann::json::array()},
                            {"settle", nlohmann::json::array()}};
  for (const std::string name : request.at("names")) {
    scripts["bindings"].push_back(page::BindingScript(name));
  }
  for (const nlohmann::json& settle : request.at("settle")) {
    const std::uint64_t id = settle.at("id");
    const std::string text = FromHex(settle.at("hex"));
    scripts["settle"].push_back(settle.at("resolved") ? page::ResolveScript(id, text)
                                                      : page::RejectScript(id, text));
  }
  // The scripts are ASCII (non-ASCII text is escaped), so they print as they are.
  std::cout << scripts.dump() << '\n';
  return 0;
}

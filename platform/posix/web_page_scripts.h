// Linux: the scripts the web window puts into every page it loads, before the page's own.
#pragma once

#include <string>
#include <vector>

namespace platform::web_page {

// The script message channels the scripts post to.
inline constexpr char kCallChannel[] = "velmoraCall";
inline constexpr char kDragChannel[] = "velmoraDrag";

// Defines each of `names` as a global function that posts {token, name, request} as JSON text to
// kCallChannel and returns a promise of the reply. The native side answers with the reply text
// JSON-encoded as a string, so any bytes arrive intact; the script decodes it and parses the reply
// itself, rejecting with "Failed to parse binding result as JSON" when it is not JSON.
std::string BridgeScript(const std::string& token, const std::vector<std::string>& names);

// Posts `token` to kDragChannel when the primary button goes down on an element that the page's
// <style> sheets or its own style attribute declare "-webkit-app-region: drag" (the nearest
// declared ancestor decides, "no-drag" excludes). The engine itself ignores the property.
std::string DragRegionScript(const std::string& token);

}  // namespace platform::web_page

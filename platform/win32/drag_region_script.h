// Moving the frameless window by the page: WebView2 ignores "-webkit-app-region" unless told
// otherwise, so a script of the window's own finds the page's drag regions and asks the native
// side to start a move.
#pragma once

#include <string>

namespace webview2 {

// Posts {token, drag: true} when the primary button goes down on an element that the page
// declares draggable with "-webkit-app-region: drag" or "app-region: drag", in a <style> element
// or its own style attribute. The nearest ancestor (or the element itself) with a declaration
// decides, so "no-drag" on a button inside a drag region keeps the button clickable.
std::string DragRegionScript(const std::string& token);

}  // namespace webview2

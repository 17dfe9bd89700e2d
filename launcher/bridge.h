// The functions the page calls: their names in the page and the operations that answer them.
#pragma once

#include <span>
#include <string>

#include "platform/web_window.h"

namespace launcher {

struct BridgeFunction {
  const char* name;  // the global function of the page
  std::string (*operation)(const std::string& request);
};

// The thirteen functions in the order they are bound.
std::span<const BridgeFunction> BridgeFunctions();

// Binds every bridge function into `window`; call before the page is loaded.
void BindBridge(platform::WebWindow& window);

}  // namespace launcher

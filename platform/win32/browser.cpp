#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include "platform/browser.h"
#include "platform/text.h"

namespace platform {

bool OpenInDefaultBrowser(const std::string& url) {
  const HINSTANCE result = ShellExecuteW(nullptr, L"open", Utf8ToUtf16(url.c_str()).c_str(),
                                         nullptr, nullptr, SW_SHOWNORMAL);
  // Values above 32 mean success.
  return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace platform

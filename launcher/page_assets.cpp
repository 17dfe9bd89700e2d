#include "launcher/page_assets.h"

#include <string_view>

#include "launcher/startup_log.h"

namespace {

// Replaces the first `marker` by opening tag, LF, content, LF, closing tag; false if absent.
bool ReplaceFirst(std::string& html, std::string_view marker, std::string_view tag,
                  const std::string& content) {
  const std::size_t at = html.find(marker);
  if (at == std::string::npos) return false;
  std::string element;
  element.reserve(content.size() + 2 * tag.size() + 5);
  element.append("<").append(tag).append(">\n");
  element.append(content);
  element.append("\n</").append(tag).append(">");
  html.replace(at, marker.size(), element);
  return true;
}

}  // namespace

void InlinePageAssets(std::string& html, const std::string& css, const std::string& js) {
  if (!css.empty() && ReplaceFirst(html, kStyleSheetMarker, "style", css)) {
    LogInfoAs(kStartupLogName, "CSS inlined successfully");
  }
  if (!js.empty() && ReplaceFirst(html, kScriptMarker, "script", js)) {
    LogInfoAs(kStartupLogName, "JS inlined successfully");
  }
}

// Builds the launcher page from its three embedded parts.
#pragma once

#include <string>

// The references in the HTML that the style sheet and the script replace, byte for byte.
inline constexpr char kStyleSheetMarker[] = "<link rel=\"stylesheet\" href=\"css/style.css\">";
inline constexpr char kScriptMarker[] = "<script src=\"js/launcher.js\"></script>";

// Replaces the first style-sheet marker of `html` by "<style>", LF, the CSS, LF, "</style>" and
// logs "CSS inlined successfully"; then, in the HTML as it now stands, the first script marker by
// "<script>", LF, the JS, LF, "</script>" and logs "JS inlined successfully". An empty CSS or JS,
// or a marker that is not there, leaves the HTML as it is for that part and logs nothing.
void InlinePageAssets(std::string& html, const std::string& css, const std::string& js);

// What the engine checks in the patch server's documents before it believes them. Pure
// functions on the text as it arrived.
#pragma once

#include <cstddef>
#include <string_view>

// The largest version.json and launcher_version.json the engine reads.
inline constexpr std::size_t kVersionDocumentLimit = std::size_t{1} << 20;
// The largest manifest the engine reads.
inline constexpr std::size_t kManifestLimit = std::size_t{256} << 20;
// The deepest nesting of arrays and objects a document may have: the manifest itself needs 3.
inline constexpr std::size_t kMaxJsonNesting = 64;

// Whether `text` holds a control character (a byte below 0x20, or 0x7f). Such texts would
// forge lines of the log and break the one-line files they are written to.
bool HasControlCharacter(std::string_view text);

// Throws std::runtime_error when `text` nests arrays and objects deeper than kMaxJsonNesting,
// so a hostile document is refused before a parser walks it. Brackets inside strings do not
// count. The text need not be valid JSON; the parser judges that afterwards.
void CheckJsonNesting(std::string_view text);

// The Content-Range header of a partial answer, read as the client needs it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The first byte that a Content-Range value names: "bytes 100-199/200" gives 100, as does
// "bytes 100-199/*". Nothing when the value is not a byte range of that form (empty, another
// unit, "bytes */200", a last byte before the first, a number too large).
std::optional<std::uint64_t> ContentRangeStart(std::string_view value);

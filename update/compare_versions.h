// Ordering of dotted version texts such as "1.0.3".
#pragma once

#include <string>

// -1 when `a` is lower than `b`, 0 when equal, 1 when higher. Each "."-separated part is read as
// a decimal number from its leading characters ("0-beta" is 0, a part without digits is 0, a
// final "." adds no part); a missing part counts as 0, so "1.1" equals "1.1.0". Numbers past the
// 32-bit range stop at its limits.
int CompareVersions(const std::string& a, const std::string& b);

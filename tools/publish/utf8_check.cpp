#include "tools/publish/file_name_rules.h"

namespace publish {

namespace {

// Length of the sequence announced by `lead`, or 0 for a byte that cannot start one.
int SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xc2 && lead <= 0xdf) return 2;
  if (lead >= 0xe0 && lead <= 0xef) return 3;
  if (lead >= 0xf0 && lead <= 0xf4) return 4;
  return 0;
}

// The allowed range of the byte after `lead`; it excludes overlong forms, surrogates and code
// points above U+10FFFF.
bool SecondByteFits(unsigned char lead, unsigned char second) {
  if (lead == 0xe0) return second >= 0xa0 && second <= 0xbf;
  if (lead == 0xed) return second >= 0x80 && second <= 0x9f;
  if (lead == 0xf0) return second >= 0x90 && second <= 0xbf;
  if (lead == 0xf4) return second >= 0x80 && second <= 0x8f;
  return second >= 0x80 && second <= 0xbf;
}

bool IsContinuation(unsigned char byte) {
  return byte >= 0x80 && byte <= 0xbf;
}

}  // namespace

bool IsValidUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = SequenceLength(lead);
    if (length == 0 || i + static_cast<std::size_t>(length) > text.size()) return false;
    if (length > 1 && !SecondByteFits(lead, static_cast<unsigned char>(text[i + 1]))) return false;
    for (int k = 2; k < length; ++k) {
      if (!IsContinuation(static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)])))
        return false;
    }
    i += static_cast<std::size_t>(length);
  }
  return true;
}

}  // namespace publish

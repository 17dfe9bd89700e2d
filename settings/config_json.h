// The settings object api_getConfig replies with.
#pragma once

#include <string>

#include "settings/display_settings.h"

// {"resolution":"...","windowed":...,"vsync":...,"antiAliasing":N,"version":"..."}: keys in this
// order, no spaces. The two texts are JSON-escaped (a byte that is not UTF-8 becomes U+FFFD) so
// the reply always parses, however the stored values were edited; it is as long as it needs.
std::string FormatConfigJson(const DisplaySettings& settings);

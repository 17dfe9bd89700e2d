// The start-up sequence logs under the name of the Windows entry point on every platform, so the
// log reads the same whichever program wrote it.
#pragma once

#include "log/log.h"

inline constexpr char kStartupLogName[] = "WinMain";

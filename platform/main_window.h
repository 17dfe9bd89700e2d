// The launcher's main window, shared by the start-up code that creates it and the bridge
// operations that minimise or close it.
#pragma once

#include "platform/window.h"

// Null until the start-up sequence obtains the window; set once, never cleared. Written and read
// on the main thread only.
extern platform::NativeWindow mainWindow;

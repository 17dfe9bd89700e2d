#include "common/main_window.h"

platform::NativeWindow mainWindow = nullptr;

#include "platform/main_window.h"

platform::NativeWindow mainWindow = nullptr;

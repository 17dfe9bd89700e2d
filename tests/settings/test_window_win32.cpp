#include <windows.h>

#include <stdexcept>

#include "tests/settings/test_window.h"

namespace settings_testing {

class TestWindow::Impl {
 public:
  Impl() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"VelmoraSettingsTestWindow";
    RegisterClassW(&windowClass);  // fails harmlessly for the second window of a program
    window_ = CreateWindowExW(0, windowClass.lpszClassName, L"settings test", WS_OVERLAPPEDWINDOW,
                              0, 0, 200, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window_ == nullptr) throw std::runtime_error("cannot create the test window");
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~Impl() { DestroyWindow(window_); }

  HWND window_ = nullptr;
  bool closeRequested_ = false;

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
      auto* self = reinterpret_cast<Impl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
      if (self != nullptr) self->closeRequested_ = true;
      return 0;  // keep the window
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }
};

TestWindow::TestWindow() : impl_(std::make_unique<Impl>()) {}
TestWindow::~TestWindow() = default;

platform::NativeWindow TestWindow::handle() const {
  return impl_->window_;
}

bool TestWindow::CloseRequested(std::chrono::milliseconds timeout) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout.count());
  do {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (impl_->closeRequested_) return true;
    Sleep(5);
  } while (GetTickCount64() < deadline);
  return false;
}

}  // namespace settings_testing

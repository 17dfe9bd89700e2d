#include <gtk/gtk.h>

#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "tests/settings/test_window.h"

namespace settings_testing {

class TestWindow::Impl {
 public:
  Impl() {
    // No accessibility bus for a test window: its connection is never freed and reads as a leak.
    setenv("NO_AT_BRIDGE", "1", 0);
    if (!gtk_init_check(nullptr, nullptr)) throw std::runtime_error("GTK has no display");
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    g_signal_connect(window_, "delete-event", G_CALLBACK(OnDelete), this);
    // Only a realised window can be asked to close.
    gtk_widget_show(window_);
  }
  ~Impl() {
    gtk_widget_destroy(window_);
    Drain();
  }

  GtkWidget* window_ = nullptr;
  bool closeRequested_ = false;

  static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
    static_cast<Impl*>(data)->closeRequested_ = true;
    return TRUE;  // keep the window
  }

  static void Drain() {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
  }
};

TestWindow::TestWindow() : impl_(std::make_unique<Impl>()) {}
TestWindow::~TestWindow() = default;

platform::NativeWindow TestWindow::handle() const {
  return impl_->window_;
}

bool TestWindow::CloseRequested(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  do {
    Impl::Drain();
    if (impl_->closeRequested_) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

}  // namespace settings_testing

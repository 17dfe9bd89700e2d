#include <gtk/gtk.h>

#include <cstdio>

#include "platform/window.h"

namespace platform {

namespace {

GtkWindow* AsGtkWindow(NativeWindow window) {
  return GTK_WINDOW(window);
}

gboolean CloseWhenIdle(gpointer data) {
  GtkWindow* window = GTK_WINDOW(data);
  gtk_window_close(window);
  g_object_unref(window);
  return G_SOURCE_REMOVE;
}

}  // namespace

void MinimizeWindow(NativeWindow window) {
  if (window != nullptr) gtk_window_iconify(AsGtkWindow(window));
}

void PostCloseWindow(NativeWindow window) {
  if (window == nullptr) return;
  // The reference keeps the window alive until the main loop gets to the queued close.
  g_idle_add(CloseWhenIdle, g_object_ref(window));
}

void MakeBorderless(NativeWindow window) {
  gtk_window_set_decorated(AsGtkWindow(window), FALSE);
}

void PlaceWindow(NativeWindow window, int x, int y, int width, int height) {
  gtk_window_move(AsGtkWindow(window), x, y);
  gtk_window_resize(AsGtkWindow(window), width, height);
}

void ShowErrorDialog(const char* text, const char* caption) {
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fprintf(stderr, "%s: %s\n", caption, text);  // no display to show a dialog on
    return;
  }
  GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                             GTK_BUTTONS_OK, "%s", text);
  gtk_window_set_title(GTK_WINDOW(dialog), caption);
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
}

}  // namespace platform

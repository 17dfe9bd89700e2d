#include "tests/launcher/support/x11_windows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace testing_support {

namespace {

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

// Windows come and go while a test looks at them; a request about one that has just gone must
// fail quietly instead of ending the test program (the default handler exits).
int IgnoreError(Display*, XErrorEvent*) {
  return 0;
}

DisplayPtr OpenDisplay() {
  static const auto previous = XSetErrorHandler(IgnoreError);
  static_cast<void>(previous);
  DisplayPtr display(XOpenDisplay(nullptr));
  if (!display) throw std::runtime_error("cannot open the X display");
  return display;
}

// The raw bytes of a window property, empty when it is not set.
std::vector<unsigned char> Property(Display* display, Window window, const char* name, Atom type) {
  Atom actualType = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long remaining = 0;
  unsigned char* data = nullptr;
  const Atom atom = XInternAtom(display, name, False);
  if (XGetWindowProperty(display, window, atom, 0, 1024, False, type, &actualType, &format, &count,
                         &remaining, &data) != Success ||
      data == nullptr) {
    return {};
  }
  const std::size_t unit = format == 32 ? sizeof(long) : static_cast<std::size_t>(format / 8);
  std::vector<unsigned char> bytes(data, data + count * unit);
  XFree(data);
  return bytes;
}

std::string Title(Display* display, Window window) {
  std::vector<unsigned char> name =
      Property(display, window, "_NET_WM_NAME", XInternAtom(display, "UTF8_STRING", False));
  if (name.empty()) name = Property(display, window, "WM_NAME", XA_STRING);
  return {name.begin(), name.end()};
}

bool IsMapped(Display* display, Window window) {
  XWindowAttributes attributes;
  return XGetWindowAttributes(display, window, &attributes) != 0 &&
         attributes.map_state == IsViewable;
}

std::optional<XWindowId> FindOnce(const std::string& title) {
  DisplayPtr display = OpenDisplay();
  Window root = DefaultRootWindow(display.get());
  Window parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display.get(), root, &root, &parent, &children, &count)) return {};
  std::optional<XWindowId> found;
  for (unsigned int i = 0; i < count && !found; ++i) {
    if (IsMapped(display.get(), children[i]) && Title(display.get(), children[i]) == title)
      found = children[i];
  }
  if (children != nullptr) XFree(children);
  return found;
}

}  // namespace

std::optional<XWindowId> FindWindowByTitle(const std::string& title,
                                           std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (std::optional<XWindowId> window = FindOnce(title)) return window;
    if (std::chrono::steady_clock::now() >= deadline) return {};
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

WindowGeometry GetWindowGeometry(XWindowId window) {
  DisplayPtr display = OpenDisplay();
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display.get(), window, &attributes)) return {};
  int x = 0;
  int y = 0;
  Window child = 0;
  XTranslateCoordinates(display.get(), window, DefaultRootWindow(display.get()), 0, 0, &x, &y,
                        &child);
  return {x - attributes.border_width, y - attributes.border_width, attributes.width,
          attributes.height};
}

std::string GetWindowTitle(XWindowId window) {
  DisplayPtr display = OpenDisplay();
  return Title(display.get(), window);
}

bool RequestsNoDecorations(XWindowId window) {
  DisplayPtr display = OpenDisplay();
  const std::vector<unsigned char> bytes =
      Property(display.get(), window, "_MOTIF_WM_HINTS", AnyPropertyType);
  // flags, functions, decorations, input mode, status; bit 1 of flags: decorations are given.
  if (bytes.size() < 3 * sizeof(long)) return false;
  const auto* hints = reinterpret_cast<const long*>(bytes.data());
  return (hints[0] & 2) != 0 && hints[2] == 0;
}

Rgb ScreenPixel(int x, int y) {
  DisplayPtr display = OpenDisplay();
  XImage* image =
      XGetImage(display.get(), DefaultRootWindow(display.get()), x, y, 1, 1, AllPlanes, ZPixmap);
  if (image == nullptr) throw std::runtime_error("cannot read the screen");
  const unsigned long pixel = XGetPixel(image, 0, 0);
  XDestroyImage(image);
  return {static_cast<int>((pixel >> 16) & 0xFF), static_cast<int>((pixel >> 8) & 0xFF),
          static_cast<int>(pixel & 0xFF)};
}

}  // namespace testing_support

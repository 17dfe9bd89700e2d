// The primary screen and its modes from XRandR on the X display named by $DISPLAY.

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <memory>

#include "platform/display.h"

namespace platform {

namespace {

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};
struct ResourcesFree {
  void operator()(XRRScreenResources* resources) const { XRRFreeScreenResources(resources); }
};
struct OutputFree {
  void operator()(XRROutputInfo* output) const { XRRFreeOutputInfo(output); }
};
struct CrtcFree {
  void operator()(XRRCrtcInfo* crtc) const { XRRFreeCrtcInfo(crtc); }
};

using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;
using ResourcesPtr = std::unique_ptr<XRRScreenResources, ResourcesFree>;
using OutputPtr = std::unique_ptr<XRROutputInfo, OutputFree>;
using CrtcPtr = std::unique_ptr<XRRCrtcInfo, CrtcFree>;

// The primary output, or the first connected one with a screen area when none is marked primary.
struct PrimaryOutput {
  DisplayPtr display;
  ResourcesPtr resources;
  OutputPtr output;
};

PrimaryOutput OpenPrimaryOutput() {
  PrimaryOutput result;
  result.display.reset(XOpenDisplay(nullptr));
  if (!result.display) return result;
  int eventBase = 0;
  int errorBase = 0;
  if (!XRRQueryExtension(result.display.get(), &eventBase, &errorBase)) return result;

  Display* display = result.display.get();
  const Window root = DefaultRootWindow(display);
  result.resources.reset(XRRGetScreenResourcesCurrent(display, root));
  if (!result.resources) return result;

  const RROutput primary = XRRGetOutputPrimary(display, root);
  if (primary != None) {
    result.output.reset(XRRGetOutputInfo(display, result.resources.get(), primary));
    if (result.output && result.output->crtc != None) return result;
  }
  for (int i = 0; i < result.resources->noutput; ++i) {
    OutputPtr output(
        XRRGetOutputInfo(display, result.resources.get(), result.resources->outputs[i]));
    if (output && output->connection == RR_Connected && output->crtc != None) {
      result.output = std::move(output);
      return result;
    }
  }
  result.output.reset();
  return result;
}

}  // namespace

ScreenSize PrimaryScreenSize() {
  const PrimaryOutput primary = OpenPrimaryOutput();
  if (!primary.display) return {};
  if (!primary.output) {
    // No RandR outputs: the X screen itself is the only monitor.
    const int screen = DefaultScreen(primary.display.get());
    return {DisplayWidth(primary.display.get(), screen),
            DisplayHeight(primary.display.get(), screen)};
  }
  const CrtcPtr crtc(
      XRRGetCrtcInfo(primary.display.get(), primary.resources.get(), primary.output->crtc));
  if (!crtc) return {};
  return {static_cast<int>(crtc->width), static_cast<int>(crtc->height)};
}

std::vector<DisplayMode> EnumerateDisplayModes() {
  const PrimaryOutput primary = OpenPrimaryOutput();
  std::vector<DisplayMode> modes;
  if (!primary.output) return modes;
  const XRRScreenResources& resources = *primary.resources;
  for (int i = 0; i < primary.output->nmode; ++i) {
    for (int j = 0; j < resources.nmode; ++j) {
      if (resources.modes[j].id == primary.output->modes[i]) {
        modes.push_back({static_cast<int>(resources.modes[j].width),
                         static_cast<int>(resources.modes[j].height)});
        break;
      }
    }
  }
  return modes;
}

}  // namespace platform

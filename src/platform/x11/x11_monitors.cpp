// The X11 backend's monitors: their rectangles from RandR 1.5, else Xinerama, else the whole
// screen, and the refresh rate of the primary output's mode.
#include <X11/Xlib.h>
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>

#include "x11/x11_display.h"

std::vector<TScreenRect> TX11Display::ServerMonitors(size_t& primary) {
  std::vector<TScreenRect> monitors;
  primary = 0;
  if (RandrMonitors) {
    int count = 0;
    XRRMonitorInfo* info = XRRGetMonitors(Dpy, Root, True, &count);
    for (int i = 0; i < count; ++i) {
      if (info[i].primary) primary = monitors.size();
      monitors.push_back(TScreenRect{info[i].x, info[i].y, info[i].width, info[i].height});
    }
    if (info) XRRFreeMonitors(info);
    if (!monitors.empty()) return monitors;
  }
  int eventBase = 0, errorBase = 0;
  if (XineramaQueryExtension(Dpy, &eventBase, &errorBase) && XineramaIsActive(Dpy)) {
    int count = 0;
    XineramaScreenInfo* info = XineramaQueryScreens(Dpy, &count);
    for (int i = 0; i < count; ++i)
      monitors.push_back(TScreenRect{info[i].x_org, info[i].y_org, info[i].width, info[i].height});
    if (info) XFree(info);
  }
  return monitors;
}

std::vector<TScreenRect> TX11Display::MonitorRects() {
  size_t primary = 0;
  std::vector<TScreenRect> monitors = ServerMonitors(primary);
  if (monitors.empty())
    return {TScreenRect{0, 0, DisplayWidth(Dpy, Screen), DisplayHeight(Dpy, Screen)}};
  std::rotate(monitors.begin(), monitors.begin() + static_cast<long>(primary),
              monitors.begin() + static_cast<long>(primary) + 1);
  return monitors;
}

double TX11Display::DisplayRefreshRate() {
  if (RandrEventBase < 0) return 0;
  // The mode of the primary output's CRTC, else of the first CRTC that shows anything.
  XRRScreenResources* resources = XRRGetScreenResourcesCurrent(Dpy, Root);
  if (!resources) return 0;
  RRCrtc wanted = None;
  if (RROutput primary = XRRGetOutputPrimary(Dpy, Root)) {
    if (XRROutputInfo* output = XRRGetOutputInfo(Dpy, resources, primary)) {
      wanted = output->crtc;
      XRRFreeOutputInfo(output);
    }
  }
  double rate = 0;
  for (int i = 0; i < resources->ncrtc && rate == 0; ++i) {
    if (wanted != None && resources->crtcs[i] != wanted) continue;
    XRRCrtcInfo* crtc = XRRGetCrtcInfo(Dpy, resources, resources->crtcs[i]);
    if (!crtc) continue;
    for (int m = 0; m < resources->nmode; ++m) {
      const XRRModeInfo& mode = resources->modes[m];
      if (mode.id == crtc->mode && mode.hTotal > 0 && mode.vTotal > 0)
        rate =
            static_cast<double>(mode.dotClock) / (static_cast<double>(mode.hTotal) * mode.vTotal);
    }
    XRRFreeCrtcInfo(crtc);
  }
  XRRFreeScreenResources(resources);
  return rate;
}

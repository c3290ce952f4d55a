// A small X client for the end-to-end scripts: stands in for the screen-saver host's preview
// window (a window steered by commands on stdin) and reads pixels of any window.
//   x_probe window W H [X Y]  prints "<decimal id> 0x<hex id>", then obeys stdin lines:
//                          map, unmap, resize W H, destroy, quit
//   x_probe dock W H X Y   the same as a magenta panel: a dock window that reserves its height
//                          at the bottom of the screen
//   x_probe cover W H X Y  the same as a black override-redirect window, as a lock screen maps
//   x_probe lit ID [X Y W H]  prints how many pixels of window ID (or of that rectangle in it)
//                          are not black; status 1 if the window is gone
//   x_probe yellow ID X Y W H  the same count for pixels of the clock's full yellow (red and
//                          green 200 or more, blue 60 or less)
//   x_probe await ID S [X Y W H]  reads window ID (or that rectangle in it) until more than
//                          1000 of its pixels are lit, then prints the milliseconds that took;
//                          status 1 after S seconds without
//   x_probe ppm ID FILE    writes window ID as a binary PPM image
//   x_probe colour ID R G B X Y W H  prints how many pixels of that rectangle of window ID are
//                          within 60 of the colour on every channel
//   x_probe yellow-rows ID X Y W H  prints the height in rows of the clock's yellow there: the
//                          band of rows (gaps of at most 2) that holds the most of it
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

namespace {

bool Failed = false;

int NoteError(Display*, XErrorEvent*) {
  Failed = true;
  return 0;
}

XImage* Grab(Display* dpy, Window window) {
  Failed = false;
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(dpy, window, &attributes)) return nullptr;
  XImage* image = XGetImage(dpy, window, 0, 0, static_cast<unsigned>(attributes.width),
                            static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
  XSync(dpy, False);
  if (Failed) {
    // An unmapped window cannot be read, yet the request may still hand back an image.
    if (image) XDestroyImage(image);
    return nullptr;
  }
  return image;
}

int RunWindow(Display* dpy, int width, int height, int x, int y, bool dock, bool cover) {
  const int screen = DefaultScreen(dpy);
  // Magenta on the 24-bit screens of the scripts: a colour the scene never shows.
  Window window = XCreateSimpleWindow(dpy, RootWindow(dpy, screen), x, y,
                                      static_cast<unsigned>(width), static_cast<unsigned>(height),
                                      0, 0, dock ? 0xFF00FFUL : BlackPixel(dpy, screen));
  XStoreName(dpy, window, dock ? "panel" : "preview host");
  if (dock) {
    const Atom type = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_DOCK", False);
    XChangeProperty(dpy, window, XInternAtom(dpy, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&type), 1);
    // left, right, top, bottom, then the start and end of each edge's part.
    const long strut[12] = {0, 0, 0, height, 0, 0, 0, 0, 0, 0, x, x + width - 1};
    XChangeProperty(dpy, window, XInternAtom(dpy, "_NET_WM_STRUT_PARTIAL", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(strut), 12);
    // A window manager places a panel where it asks to be only when the place comes from the user.
    XSizeHints size{};
    size.flags = USPosition | USSize;
    size.x = x;
    size.y = y;
    size.width = width;
    size.height = height;
    XSetWMNormalHints(dpy, window, &size);
  }
  if (cover) {
    // A lock screen's way: above every managed window, out of the window manager's hands.
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    XChangeWindowAttributes(dpy, window, CWOverrideRedirect, &attributes);
  }
  XSelectInput(dpy, window, StructureNotifyMask);
  XMapWindow(dpy, window);
  // Wait until it is viewable, so the saver's first visibility test passes.
  for (XEvent event;;) {
    XNextEvent(dpy, &event);
    if (event.type == MapNotify) break;
  }
  std::printf("%lu 0x%lx\n", window, window);
  std::fflush(stdout);
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream words(line);
    std::string command;
    words >> command;
    if (command == "map") {
      XMapWindow(dpy, window);
    } else if (command == "unmap") {
      XUnmapWindow(dpy, window);
    } else if (command == "resize") {
      unsigned w = 0, h = 0;
      words >> w >> h;
      XResizeWindow(dpy, window, w, h);
    } else if (command == "move") {
      int x = 0, y = 0;
      words >> x >> y;
      XMoveWindow(dpy, window, x, y);
    } else if (command == "state") {
      // state add|remove FULLSCREEN|MAXIMIZED: asks the window manager, as a program does.
      std::string how, what;
      words >> how >> what;
      const bool full = what == "FULLSCREEN";
      XEvent event{};
      event.xclient.type = ClientMessage;
      event.xclient.window = window;
      event.xclient.message_type = XInternAtom(dpy, "_NET_WM_STATE", False);
      event.xclient.format = 32;
      event.xclient.data.l[0] = how == "add" ? 1 : 0;
      event.xclient.data.l[1] = static_cast<long>(XInternAtom(
          dpy, full ? "_NET_WM_STATE_FULLSCREEN" : "_NET_WM_STATE_MAXIMIZED_VERT", False));
      event.xclient.data.l[2] =
          full ? 0 : static_cast<long>(XInternAtom(dpy, "_NET_WM_STATE_MAXIMIZED_HORZ", False));
      event.xclient.data.l[3] = 1;
      XSendEvent(dpy, DefaultRootWindow(dpy), False,
                 SubstructureRedirectMask | SubstructureNotifyMask, &event);
    } else if (command == "destroy") {
      XDestroyWindow(dpy, window);
    } else if (command == "quit") {
      break;
    }
    XSync(dpy, False);
    std::printf("ok\n");
    std::fflush(stdout);
  }
  return 0;
}

bool IsLit(unsigned long pixel) {
  return (pixel & 0xFFFFFF) != 0;
}

bool IsYellow(unsigned long pixel) {
  const unsigned long red = (pixel >> 16) & 0xFF, green = (pixel >> 8) & 0xFF, blue = pixel & 0xFF;
  return red >= 200 && green >= 200 && blue <= 60;
}

// How many pixels of that rectangle of window (the whole window for a width of 0) pass counts;
// -1 when the window cannot be read.
long Count(Display* dpy, Window window, int left, int top, int width, int height,
           bool (*counts)(unsigned long)) {
  XImage* image = Grab(dpy, window);
  if (!image) return -1;
  if (width <= 0) width = image->width;
  if (height <= 0) height = image->height;
  long lit = 0;
  for (int y = top; y < top + height && y < image->height; ++y)
    for (int x = left; x < left + width && x < image->width; ++x)
      if (counts(XGetPixel(image, x, y))) ++lit;
  XDestroyImage(image);
  return lit;
}

int CountLit(Display* dpy, Window window, int left, int top, int width, int height,
             bool (*counts)(unsigned long) = IsLit) {
  const long lit = Count(dpy, window, left, top, width, height, counts);
  if (lit < 0) return 1;
  std::printf("%ld\n", lit);
  return 0;
}

// Reads the window (or that rectangle of it) again and again until more than 1000 of its pixels
// are lit: prints the milliseconds that took; status 1 after seconds without.
int AwaitLit(Display* dpy, Window window, double seconds, int left, int top, int width,
             int height) {
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (Count(dpy, window, left, top, width, height, IsLit) > 1000) {
      std::printf("%.0f\n", ms);
      return 0;
    }
    if (ms > seconds * 1000) return 1;
    usleep(1000);
  }
}

int CountColour(Display* dpy, Window window, const int rgb[3], int left, int top, int width,
                int height) {
  XImage* image = Grab(dpy, window);
  if (!image) return 1;
  long near = 0;
  for (int y = top; y < top + height && y < image->height; ++y)
    for (int x = left; x < left + width && x < image->width; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      const int channels[3] = {static_cast<int>((pixel >> 16) & 0xFF),
                               static_cast<int>((pixel >> 8) & 0xFF),
                               static_cast<int>(pixel & 0xFF)};
      bool close = true;
      for (int c = 0; c < 3; ++c) close = close && std::abs(channels[c] - rgb[c]) <= 60;
      if (close) ++near;
    }
  XDestroyImage(image);
  std::printf("%ld\n", near);
  return 0;
}

// The clock's height in rows: rows with two yellow pixels or more form bands across gaps of at
// most 2 rows, and the band with the most yellow is the clock's (a yellow animal beside it is
// not counted).
int YellowRows(Display* dpy, Window window, int left, int top, int width, int height) {
  XImage* image = Grab(dpy, window);
  if (!image) return 1;
  int bandTop = -1, bandBottom = -1, bestRows = 0;
  long bandYellow = 0, bestYellow = 0;
  for (int y = top; y < top + height && y < image->height; ++y) {
    long yellow = 0;
    for (int x = left; x < left + width && x < image->width; ++x)
      if (IsYellow(XGetPixel(image, x, y))) ++yellow;
    if (yellow < 2) continue;
    if (bandTop < 0 || y - bandBottom > 3) {
      bandTop = y;
      bandYellow = 0;
    }
    bandBottom = y;
    bandYellow += yellow;
    if (bandYellow > bestYellow) {
      bestYellow = bandYellow;
      bestRows = bandBottom - bandTop + 1;
    }
  }
  XDestroyImage(image);
  std::printf("%d\n", bestRows);
  return 0;
}

int WritePpm(Display* dpy, Window window, const char* path) {
  XImage* image = Grab(dpy, window);
  if (!image) return 1;
  FILE* file = std::fopen(path, "wb");
  if (!file) return 1;
  std::fprintf(file, "P6\n%d %d\n255\n", image->width, image->height);
  for (int y = 0; y < image->height; ++y)
    for (int x = 0; x < image->width; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      const unsigned char rgb[3] = {static_cast<unsigned char>(pixel >> 16),
                                    static_cast<unsigned char>(pixel >> 8),
                                    static_cast<unsigned char>(pixel)};
      std::fwrite(rgb, 1, 3, file);
    }
  std::fclose(file);
  XDestroyImage(image);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) {
    std::fprintf(stderr, "x_probe: no display\n");
    return 2;
  }
  XSetErrorHandler(NoteError);
  const std::string command = argc > 1 ? argv[1] : "";
  int status = 2;
  if (command == "window" && (argc == 4 || argc == 6))
    status =
        RunWindow(dpy, std::atoi(argv[2]), std::atoi(argv[3]), argc == 6 ? std::atoi(argv[4]) : 0,
                  argc == 6 ? std::atoi(argv[5]) : 0, false, false);
  else if (command == "dock" && argc == 6)
    status = RunWindow(dpy, std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                       std::atoi(argv[5]), true, false);
  else if (command == "cover" && argc == 6)
    status = RunWindow(dpy, std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                       std::atoi(argv[5]), false, true);
  else if (command == "lit" && argc == 3)
    status = CountLit(dpy, std::strtoul(argv[2], nullptr, 0), 0, 0, 0, 0);
  else if (command == "lit" && argc == 7)
    status = CountLit(dpy, std::strtoul(argv[2], nullptr, 0), std::atoi(argv[3]),
                      std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]));
  else if (command == "yellow" && argc == 7)
    status = CountLit(dpy, std::strtoul(argv[2], nullptr, 0), std::atoi(argv[3]),
                      std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]), IsYellow);
  else if (command == "await" && (argc == 4 || argc == 8))
    status = AwaitLit(dpy, std::strtoul(argv[2], nullptr, 0), std::atof(argv[3]),
                      argc == 8 ? std::atoi(argv[4]) : 0, argc == 8 ? std::atoi(argv[5]) : 0,
                      argc == 8 ? std::atoi(argv[6]) : 0, argc == 8 ? std::atoi(argv[7]) : 0);
  else if (command == "colour" && argc == 10) {
    const int rgb[3] = {std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5])};
    status = CountColour(dpy, std::strtoul(argv[2], nullptr, 0), rgb, std::atoi(argv[6]),
                         std::atoi(argv[7]), std::atoi(argv[8]), std::atoi(argv[9]));
  } else if (command == "yellow-rows" && argc == 7)
    status = YellowRows(dpy, std::strtoul(argv[2], nullptr, 0), std::atoi(argv[3]),
                        std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]));
  else if (command == "ppm" && argc == 4)
    status = WritePpm(dpy, std::strtoul(argv[2], nullptr, 0), argv[3]);
  else
    std::fprintf(stderr,
                 "usage: x_probe window W H [X Y] | dock W H X Y | cover W H X Y | lit ID [X Y W "
                 "H] | await ID S [X Y W H] | yellow ID X Y W H | yellow-rows ID X Y W H | "
                 "ppm ID FILE | "
                 "colour ID R G B X Y W H\n");
  XCloseDisplay(dpy);
  return status;
}

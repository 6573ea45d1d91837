#include "WindowManager.h"

#include <SDL.h>
#include <SDL_syswm.h>

#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#endif

namespace limpet {

bool HasWindowManager(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (SDL_GetWindowWMInfo(window, &info) != SDL_TRUE) return true;
#if defined(SDL_VIDEO_DRIVER_X11)
  if (info.subsystem == SDL_SYSWM_X11) {
    // A window manager that follows the freedesktop conventions names its
    // check window on the root window.
    Display* display = info.info.x11.display;
    Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    if (check == None) return false;
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False,
                                          XA_WINDOW, &type, &format, &count, &after, &data);
    if (data != nullptr) XFree(data);
    return status == Success && type == XA_WINDOW && count == 1;
  }
#endif
  return true;
}

#if defined(SDL_VIDEO_DRIVER_X11)
namespace {

XErrorHandler previousHandler = nullptr;

int FilterXError(Display* display, XErrorEvent* error) {
  if (error->error_code == BadWindow && error->request_code == X_SendEvent) return 0;
  return previousHandler != nullptr ? previousHandler(display, error) : 0;
}

}  // namespace
#endif

void IgnoreEventsSentToDestroyedWindows() {
#if defined(SDL_VIDEO_DRIVER_X11)
  XErrorHandler previous = XSetErrorHandler(FilterXError);
  if (previous != FilterXError) previousHandler = previous;
#endif
}

}  // namespace limpet

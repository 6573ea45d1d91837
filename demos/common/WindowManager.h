// What the demo shell needs to know about, or set in, the window system
// beneath SDL.
#pragma once

struct SDL_Window;

namespace limpet {

// True when a window manager looks after the window's screen, so that
// maximising and full-screen requests are carried out. False on an X display
// without one (such as a bare virtual display), where the program must place
// and size its windows itself. Other window systems always have one.
bool HasWindowManager(SDL_Window* window);

// SDL wakes its waiting event loop by sending an event to the window over a
// second X connection. When the window is destroyed at that moment, the
// server may handle the destruction first and answer the send with
// BadWindow, which Xlib's default handler turns into exit(1) once SDL closes
// that connection. Installs an X error handler that drops exactly these
// errors (BadWindow of a SendEvent request) and passes every other one to
// the handler installed before. Call before SDL starts.
void IgnoreEventsSentToDestroyedWindows();

}  // namespace limpet

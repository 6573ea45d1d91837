// Asking the window system about its window manager.
#pragma once

struct SDL_Window;

namespace limpet {

// True when a window manager looks after the window's screen, so that
// maximising and full-screen requests are carried out. False on an X display
// without one (such as a bare virtual display), where the program must place
// and size its windows itself. Other window systems always have one.
bool HasWindowManager(SDL_Window* window);

}  // namespace limpet

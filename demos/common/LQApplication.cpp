#include "LQApplication.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include "LQForms.h"
#include "LQJpeg.h"
#include "WindowManager.h"

namespace limpet {

namespace {

[[noreturn]] void RaiseSdlError(const char* what) {
  throw Exception(std::string(what) + ": " + SDL_GetError());
}

// Draws on the window's surface. The blit cuts off what falls outside it,
// also at negative coordinates.
class TSdlCanvas : public TCanvas {
 public:
  explicit TSdlCanvas(SDL_Surface* target) noexcept : FTarget(target) {}

  void Draw(int32_t x, int32_t y, const TJPEGImage& graphic) override {
    if (graphic.Empty()) return;
    std::unique_ptr<SDL_Surface, decltype(&SDL_FreeSurface)> source(
        SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t*>(graphic.Pixels()), graphic.Width(),
                                           graphic.Height(), 24, graphic.Width() * 3,
                                           SDL_PIXELFORMAT_RGB24),
        SDL_FreeSurface);
    if (source == nullptr) RaiseSdlError("Cannot draw the picture");
    SDL_Rect dest{x, y, 0, 0};
    if (SDL_BlitSurface(source.get(), nullptr, FTarget, &dest) != 0) RaiseSdlError("Cannot draw the picture");
  }

 private:
  SDL_Surface* FTarget;
};

TShiftState ShiftState(uint16_t modifiers) {
  TShiftState shift = 0;
  if ((modifiers & KMOD_SHIFT) != 0) shift |= ssShift;
  if ((modifiers & KMOD_ALT) != 0) shift |= ssAlt;
  if ((modifiers & KMOD_CTRL) != 0) shift |= ssCtrl;
  const uint32_t buttons = SDL_GetMouseState(nullptr, nullptr);
  if ((buttons & SDL_BUTTON_LMASK) != 0) shift |= ssLeft;
  if ((buttons & SDL_BUTTON_RMASK) != 0) shift |= ssRight;
  if ((buttons & SDL_BUTTON_MMASK) != 0) shift |= ssMiddle;
  return shift;
}

TMouseButton MouseButton(uint8_t button) {
  switch (button) {
    case SDL_BUTTON_LEFT: return mbLeft;
    case SDL_BUTTON_RIGHT: return mbRight;
    case SDL_BUTTON_MIDDLE: return mbMiddle;
    case SDL_BUTTON_X1: return mbExtra1;
    default: return mbExtra2;
  }
}

// One run of a form in its window.
class TFormWindow {
 public:
  TFormWindow(TApplication& application, TForm& form) : FApplication(application), FForm(form) {}
  TFormWindow(const TFormWindow&) = delete;
  TFormWindow& operator=(const TFormWindow&) = delete;
  ~TFormWindow() {
    if (FWindow != nullptr) SDL_DestroyWindow(FWindow);
  }

  void Open();
  void RunLoop();

 private:
  struct TTimerCount {
    uint32_t generation;
    uint64_t deadline;
  };

  template <class TAction>
  void Guarded(TAction action) {
    try {
      action();
    } catch (const std::exception& e) {
      FApplication.HandleException(e, FWindow);
    }
  }
  void UpdateBounds();
  void Dispatch(const SDL_Event& event);
  // Milliseconds until the next timer is due; -1 when none runs.
  int32_t ArmTimers(uint64_t now);
  void FireTimers(uint64_t now);
  void Paint();

  TApplication& FApplication;
  TForm& FForm;
  SDL_Window* FWindow = nullptr;
  uint32_t FWindowID = 0;
  bool FPaintPending = true;
  bool FShown = false;
  std::map<TTimer*, TTimerCount> FTimerCounts;
};

void TFormWindow::Open() {
  const bool bordered = FForm.BorderStyle() != bsNone;
  const uint32_t flags = SDL_WINDOW_HIDDEN | (bordered ? SDL_WINDOW_RESIZABLE : SDL_WINDOW_BORDERLESS);
  FWindow = SDL_CreateWindow(FForm.Caption().c_str(), FForm.Left(), FForm.Top(),
                             std::max(FForm.Width(), 1), std::max(FForm.Height(), 1), flags);
  if (FWindow == nullptr) RaiseSdlError("Cannot create the window");
  FWindowID = SDL_GetWindowID(FWindow);
  if (FForm.WindowState() == wsMaximized) {
    // A borderless maximised window covers the whole screen; a framed one
    // the screen's work area. Without a window manager nobody carries out a
    // maximise request, so the window takes that area itself (and, with no
    // one to restore it, keeps it).
    if (HasWindowManager(FWindow)) {
      if (bordered) {
        SDL_MaximizeWindow(FWindow);
      } else if (SDL_SetWindowFullscreen(FWindow, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
        RaiseSdlError("Cannot cover the screen");
      }
    } else {
      const int display = std::max(SDL_GetWindowDisplayIndex(FWindow), 0);
      SDL_Rect area;
      const int status = bordered ? SDL_GetDisplayUsableBounds(display, &area)
                                  : SDL_GetDisplayBounds(display, &area);
      if (status != 0) RaiseSdlError("Cannot read the screen's size");
      SDL_SetWindowPosition(FWindow, area.x, area.y);
      SDL_SetWindowSize(FWindow, area.w, area.h);
    }
  }
  SDL_ShowWindow(FWindow);
  UpdateBounds();
}

void TFormWindow::UpdateBounds() {
  int x = 0, y = 0, width = 0, height = 0;
  SDL_GetWindowPosition(FWindow, &x, &y);
  SDL_GetWindowSize(FWindow, &width, &height);
  int top = 0, left = 0, bottom = 0, right = 0;
  if (SDL_GetWindowBordersSize(FWindow, &top, &left, &bottom, &right) != 0) top = left = bottom = right = 0;
  FForm.SetBounds(x - left, y - top, width + left + right, height + top + bottom);
  FForm.SetClientSize(width, height);
}

void TFormWindow::Dispatch(const SDL_Event& event) {
  switch (event.type) {
    case SDL_QUIT:
      FForm.Close();
      break;
    case SDL_WINDOWEVENT:
      if (event.window.windowID != FWindowID) break;
      switch (event.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
          FForm.Close();
          break;
        case SDL_WINDOWEVENT_EXPOSED:
          FPaintPending = true;
          break;
        case SDL_WINDOWEVENT_MOVED:
          UpdateBounds();
          break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
          UpdateBounds();
          FPaintPending = true;
          break;
        default:
          break;
      }
      break;
    case SDL_KEYDOWN:
      if (event.key.windowID != FWindowID) break;
      Guarded([&] {
        uint16_t key = static_cast<uint16_t>(event.key.keysym.scancode);
        FForm.KeyDown(key, ShiftState(event.key.keysym.mod));
      });
      break;
    case SDL_MOUSEBUTTONDOWN:
      if (event.button.windowID != FWindowID) break;
      Guarded([&] {
        FForm.MouseDown(MouseButton(event.button.button), ShiftState(SDL_GetModState()), event.button.x,
                        event.button.y);
      });
      break;
    case SDL_MOUSEMOTION:
      if (event.motion.windowID != FWindowID) break;
      Guarded([&] { FForm.MouseMove(ShiftState(SDL_GetModState()), event.motion.x, event.motion.y); });
      break;
    default:
      break;
  }
}

int32_t TFormWindow::ArmTimers(uint64_t now) {
  int64_t wait = -1;
  if (!FShown) return -1;  // the count starts once the window is on the screen
  for (TTimer* timer : FForm.Timers()) {
    if (!timer->Enabled() || timer->Interval() == 0) {
      FTimerCounts.erase(timer);
      continue;
    }
    auto it = FTimerCounts.find(timer);
    if (it == FTimerCounts.end() || it->second.generation != timer->Generation()) {
      it = FTimerCounts.insert_or_assign(timer, TTimerCount{timer->Generation(), now + timer->Interval()}).first;
    }
    const int64_t left = it->second.deadline > now ? static_cast<int64_t>(it->second.deadline - now) : 0;
    wait = wait < 0 ? left : std::min(wait, left);
  }
  return static_cast<int32_t>(std::min<int64_t>(wait, INT32_MAX));
}

void TFormWindow::FireTimers(uint64_t now) {
  // A handler may change the form's timers: walk a copy and skip what went.
  const std::vector<TTimer*> timers = FForm.Timers();
  for (TTimer* timer : timers) {
    if (FForm.CloseRequested()) return;
    const auto& current = FForm.Timers();
    if (std::find(current.begin(), current.end(), timer) == current.end()) continue;  // gone meanwhile
    auto it = FTimerCounts.find(timer);
    if (it == FTimerCounts.end() || !timer->Enabled() || it->second.generation != timer->Generation()) continue;
    if (now < it->second.deadline) continue;
    it->second.deadline += timer->Interval();
    if (it->second.deadline <= now) it->second.deadline = now + timer->Interval();
    Guarded([&] { timer->Timer(); });
    // A handler that held the thread (its error's message box stays until
    // it is closed) does not leave ticks owing: the next one comes a whole
    // interval after it returned.
    const auto& left = FForm.Timers();
    if (std::find(left.begin(), left.end(), timer) == left.end()) continue;
    const uint64_t after = SDL_GetTicks64();
    if (it->second.deadline <= after) it->second.deadline = after + timer->Interval();
  }
}

void TFormWindow::Paint() {
  FPaintPending = false;
  SDL_Surface* surface = SDL_GetWindowSurface(FWindow);
  if (surface == nullptr) RaiseSdlError("Cannot paint the window");
  const TColor color = FForm.Color();
  SDL_FillRect(surface, nullptr,
               SDL_MapRGB(surface->format, (color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF));
  TSdlCanvas canvas(surface);
  Guarded([&] { FForm.Paint(canvas); });
  if (SDL_UpdateWindowSurface(FWindow) != 0) RaiseSdlError("Cannot paint the window");
  FShown = true;
}

void TFormWindow::RunLoop() {
  while (!FForm.CloseRequested()) {
    const bool mustPaint = FPaintPending || FForm.Invalidated();
    const int32_t wait = mustPaint ? 0 : ArmTimers(SDL_GetTicks64());
    SDL_Event event;
    if (SDL_WaitEventTimeout(&event, wait) != 0) {
      Dispatch(event);
      while (!FForm.CloseRequested() && SDL_PollEvent(&event) != 0) Dispatch(event);
    }
    if (FForm.CloseRequested()) break;
    ArmTimers(SDL_GetTicks64());
    FireTimers(SDL_GetTicks64());
    if (FForm.CloseRequested()) break;
    if (FPaintPending || FForm.Invalidated()) Paint();
  }
}

}  // namespace

TApplication::TApplication(std::string title) : FTitle(std::move(title)) {
  // The window's pixels are drawn by plain blits on its surface: no 3-D
  // renderer (and no OpenGL library) stands behind it.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  IgnoreEventsSentToDestroyedWindows();
  if (SDL_Init(SDL_INIT_VIDEO) != 0) RaiseSdlError("Cannot start the video system");
  // Key presses are all the programs read: no text input, no input method.
  SDL_StopTextInput();
}

TApplication::~TApplication() { SDL_Quit(); }

int TApplication::Run(TForm& form) {
  try {
    form.DoCreate();
  } catch (const std::exception& e) {
    HandleException(e, nullptr);
  }
  // OnDestroy runs on every way out, also when the window cannot be opened.
  struct TDestroyScope {
    TApplication& application;
    TForm& form;
    ~TDestroyScope() {
      try {
        form.DoDestroy();
      } catch (const std::exception& e) {
        application.HandleException(e, nullptr);
      }
    }
  } destroyScope{*this, form};
  TFormWindow window(*this, form);
  window.Open();
  window.RunLoop();
  return 0;
}

void TApplication::HandleException(const std::exception& error, SDL_Window* owner) {
  std::fprintf(stderr, "%s: %s\n", FTitle.c_str(), error.what());
  std::fflush(stderr);
  if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, FTitle.c_str(), error.what(), owner) != 0) {
    std::fprintf(stderr, "%s: cannot show a message box: %s\n", FTitle.c_str(), SDL_GetError());
    std::fflush(stderr);
  }
}

}  // namespace limpet

// The application object of the demo programs: runs one form in an SDL
// window. It turns SDL's events and the form's timers into calls of the
// form's dispatch routines, all on the calling thread, draws what the form
// paints, and shows the errors that the form's handlers raise.
#pragma once

#include <exception>
#include <string>

struct SDL_Window;

namespace limpet {

class TForm;

class TApplication {
 public:
  // Starts SDL's video subsystem; raises Exception when it cannot.
  explicit TApplication(std::string title);
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;
  ~TApplication();

  // The program's title: the caption of its message boxes.
  const std::string& Title() const noexcept { return FTitle; }

  // Fires the form's OnCreate, opens its window and runs the message loop
  // until the form asks to close (a key or mouse handler, the window's close
  // button, or SIGINT/SIGTERM); then fires OnDestroy and closes the window.
  // Returns the program's exit code.
  int Run(TForm& form);

  // Shows an error raised in an event handler: one line on standard error,
  // then a modal message box with the error's message over `owner` (which
  // may be null).
  void HandleException(const std::exception& error, SDL_Window* owner);

 private:
  std::string FTitle;
};

}  // namespace limpet

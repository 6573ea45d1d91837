// Running the demo programs for real: a private virtual X display (Xvfb),
// child processes with their output in a file, screenshots read back from
// the display, and synthetic input through the X test extension (xdotool).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "DemoTestSupport.h"

namespace limpet::test {

using namespace std::chrono_literals;

// How long a wait for a window state may take before the test fails. Long
// enough for a loaded machine and a sanitizer build; a passing test never
// waits this long.
inline constexpr std::chrono::milliseconds kStateTimeout = 20s;

// True when `program` is found on PATH.
bool HaveProgram(const std::string& program);

// A child process. Its standard output and standard error go to one file.
// Killed (and reaped) when the object goes away while it still runs.
class TProcess {
 public:
  // `path` is searched on PATH when it has no slash. `env` entries
  // ("NAME=value") replace or add to this process's environment.
  TProcess(const std::string& path, const std::vector<std::string>& args, const std::vector<std::string>& env,
           const std::string& outputFile);
  TProcess(const TProcess&) = delete;
  TProcess& operator=(const TProcess&) = delete;
  ~TProcess();

  pid_t Pid() const { return FPid; }
  bool Running();
  // Waits up to `timeout` for the end; returns the wait status, or nothing
  // while it still runs.
  std::optional<int> WaitExit(std::chrono::milliseconds timeout);
  void Signal(int signal);

 private:
  pid_t FPid = -1;
  std::optional<int> FStatus;
};

// "exited with 0", "killed by signal 6", ...
std::string DescribeStatus(int status);

// Polls `condition` until it holds or the timeout passes.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = kStateTimeout);

struct TWindowInfo {
  unsigned long id = 0;
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// A screenshot of the whole screen.
class TScreenshot {
 public:
  TScreenshot(int32_t width, int32_t height) : FWidth(width), FHeight(height), FPixels(size_t(width) * height) {}
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  TRgb At(int32_t x, int32_t y) const { return FPixels[size_t(y) * FWidth + x]; }
  void Set(int32_t x, int32_t y, TRgb c) { FPixels[size_t(y) * FWidth + x] = c; }
  // Saves as a binary PPM file (for a look at a failure).
  void SavePpm(const std::string& path) const;

 private:
  int32_t FWidth;
  int32_t FHeight;
  std::vector<TRgb> FPixels;
};

// A private Xvfb server of 800 by 600 pixels in 24-bit colour, with a white
// root window (so that a window not yet painted is told from a black one),
// and a connection to it.
class TVirtualDisplay {
 public:
  static constexpr int32_t kWidth = 800;
  static constexpr int32_t kHeight = 600;

  // Starts the server on a free display number; raises on failure.
  TVirtualDisplay();
  TVirtualDisplay(const TVirtualDisplay&) = delete;
  TVirtualDisplay& operator=(const TVirtualDisplay&) = delete;
  ~TVirtualDisplay();

  // ":N"
  const std::string& Name() const { return FName; }
  // The environment entry that points a program at this display.
  std::string DisplayEnv() const { return "DISPLAY=" + FName; }

  TScreenshot Screenshot();
  // The viewable top-level window with this exact title.
  std::optional<TWindowInfo> FindWindow(const std::string& title);
  // Gives the window the keyboard focus.
  void Focus(const TWindowInfo& window);
  // Runs xdotool with these arguments on this display; raises when it fails.
  void XDoTool(const std::vector<std::string>& args);

 private:
  std::string FName;
  pid_t FServer = -1;
  void* FConnection = nullptr;  // Display*
};

}  // namespace limpet::test

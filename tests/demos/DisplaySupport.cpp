#include "DisplaySupport.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace limpet::test {

namespace {

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra) {
  std::vector<std::string> result;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const auto& x : extra) replaced = replaced || x.substr(0, x.find('=')) == name;
    if (!replaced) result.push_back(entry);
  }
  result.insert(result.end(), extra.begin(), extra.end());
  return result;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> result;
  for (auto& s : strings) result.push_back(s.data());
  result.push_back(nullptr);
  return result;
}

// Forks and runs `args[0]` with stdout and stderr to `outputFd` (when not
// -1) and `keepFd` (when not -1) kept open as file descriptor 3.
pid_t Spawn(std::vector<std::string> args, std::vector<std::string> env, int outputFd, int keepFd) {
  std::vector<char*> argv = Pointers(args);
  std::vector<char*> envp = Pointers(env);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  if (pid == 0) {
    // Only async-signal-safe calls from here on.
    const int devNull = open("/dev/null", O_RDWR);
    dup2(devNull, 0);
    if (outputFd >= 0) {
      dup2(outputFd, 1);
      dup2(outputFd, 2);
    }
    if (keepFd == 3) {
      fcntl(3, F_SETFD, 0);
    } else if (keepFd >= 0) {
      dup2(keepFd, 3);
    }
    execvpe(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  return pid;
}

int IgnoreXError(Display*, XErrorEvent*) { return 0; }

Display* AsDisplay(void* p) { return static_cast<Display*>(p); }

}  // namespace

bool HaveProgram(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string candidate = dirs.substr(start, end - start) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// ---------------------------------------------------------------- TProcess

TProcess::TProcess(const std::string& path, const std::vector<std::string>& args,
                   const std::vector<std::string>& env, const std::string& outputFile) {
  const int fd = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw std::runtime_error("cannot create " + outputFile);
  std::vector<std::string> argv{path};
  argv.insert(argv.end(), args.begin(), args.end());
  try {
    FPid = Spawn(argv, MergedEnvironment(env), fd, -1);
  } catch (...) {
    close(fd);
    throw;
  }
  close(fd);
}

TProcess::~TProcess() {
  if (Running()) {
    kill(FPid, SIGKILL);
    int status = 0;
    waitpid(FPid, &status, 0);
  }
}

bool TProcess::Running() {
  if (FStatus) return false;
  int status = 0;
  if (waitpid(FPid, &status, WNOHANG) == FPid) {
    FStatus = status;
    return false;
  }
  return true;
}

std::optional<int> TProcess::WaitExit(std::chrono::milliseconds timeout) {
  WaitFor([this] { return !Running(); }, timeout);
  return FStatus;
}

void TProcess::Signal(int signal) {
  if (Running()) kill(FPid, signal);
}

std::string DescribeStatus(int status) {
  if (WIFEXITED(status)) return "exited with " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
  return "status " + std::to_string(status);
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(10ms);
  }
}

// ------------------------------------------------------------- TScreenshot

void TScreenshot::SavePpm(const std::string& path) const {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << FWidth << " " << FHeight << "\n255\n";
  for (const TRgb& c : FPixels) out.put(static_cast<char>(c.r)).put(static_cast<char>(c.g)).put(static_cast<char>(c.b));
}

// ---------------------------------------------------------- TVirtualDisplay

TVirtualDisplay::TVirtualDisplay() {
  // Xvfb writes its display number to the pipe once it accepts clients.
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  const std::string screen = std::to_string(kWidth) + "x" + std::to_string(kHeight) + "x24";
  try {
    FServer = Spawn({"Xvfb", "-displayfd", "3", "-screen", "0", screen, "-nolisten", "tcp", "-wr"},
                    MergedEnvironment({}), -1, pipeFds[1]);
  } catch (...) {
    close(pipeFds[0]);
    close(pipeFds[1]);
    throw;
  }
  close(pipeFds[1]);
  std::string number;
  const auto end = std::chrono::steady_clock::now() + kStateTimeout;
  while (number.find('\n') == std::string::npos && std::chrono::steady_clock::now() < end) {
    pollfd p{pipeFds[0], POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buffer[16];
    const ssize_t got = read(pipeFds[0], buffer, sizeof buffer);
    if (got <= 0) break;
    number.append(buffer, static_cast<size_t>(got));
  }
  close(pipeFds[0]);
  if (number.find('\n') == std::string::npos) {
    kill(FServer, SIGKILL);
    waitpid(FServer, nullptr, 0);
    throw std::runtime_error("Xvfb did not start");
  }
  FName = ":" + number.substr(0, number.find('\n'));
  XSetErrorHandler(IgnoreXError);  // windows may vanish between two requests
  FConnection = XOpenDisplay(FName.c_str());
  if (FConnection == nullptr) {
    kill(FServer, SIGKILL);
    waitpid(FServer, nullptr, 0);
    throw std::runtime_error("cannot connect to Xvfb on " + FName);
  }
}

TVirtualDisplay::~TVirtualDisplay() {
  if (FConnection != nullptr) XCloseDisplay(AsDisplay(FConnection));
  kill(FServer, SIGTERM);
  int status = 0;
  if (!WaitFor([&] { return waitpid(FServer, &status, WNOHANG) == FServer; }, 5s)) {
    kill(FServer, SIGKILL);
    waitpid(FServer, &status, 0);
  }
}

TScreenshot TVirtualDisplay::Screenshot() {
  Display* display = AsDisplay(FConnection);
  XImage* image =
      XGetImage(display, DefaultRootWindow(display), 0, 0, kWidth, kHeight, AllPlanes, ZPixmap);
  if (image == nullptr) throw std::runtime_error("cannot read the screen");
  TScreenshot shot(kWidth, kHeight);
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) {
      // 32-bit pixels in this machine's byte order are read directly, the
      // rest through Xlib.
      const unsigned long pixel =
          image->bits_per_pixel == 32 && image->byte_order == LSBFirst
              ? *reinterpret_cast<const uint32_t*>(image->data + size_t(y) * image->bytes_per_line + size_t(x) * 4)
              : XGetPixel(image, x, y);
      shot.Set(x, y, {static_cast<uint8_t>((pixel & image->red_mask) >> 16),
                      static_cast<uint8_t>((pixel & image->green_mask) >> 8),
                      static_cast<uint8_t>(pixel & image->blue_mask)});
    }
  }
  XDestroyImage(image);
  return shot;
}

std::optional<TWindowInfo> TVirtualDisplay::FindWindow(const std::string& title) {
  Display* display = AsDisplay(FConnection);
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) == 0) return std::nullopt;
  std::optional<TWindowInfo> found;
  for (unsigned int i = 0; i < count && !found; ++i) {
    // The title's bytes, whatever its encoding (SDL's message boxes name
    // theirs in UTF-8, which XFetchName does not return).
    XTextProperty name;
    if (XGetWMName(display, children[i], &name) == 0 || name.value == nullptr) continue;
    const bool match = title == std::string(reinterpret_cast<const char*>(name.value), name.nitems);
    XFree(name.value);
    XWindowAttributes attributes;
    if (match && XGetWindowAttributes(display, children[i], &attributes) != 0 &&
        attributes.map_state == IsViewable) {
      found = TWindowInfo{children[i], attributes.x, attributes.y, attributes.width, attributes.height};
    }
  }
  if (children != nullptr) XFree(children);
  return found;
}

void TVirtualDisplay::Focus(const TWindowInfo& window) {
  Display* display = AsDisplay(FConnection);
  XSetInputFocus(display, window.id, RevertToPointerRoot, CurrentTime);
  XSync(display, False);
}

void TVirtualDisplay::XDoTool(const std::vector<std::string>& args) {
  std::vector<std::string> argv{"xdotool"};
  argv.insert(argv.end(), args.begin(), args.end());
  const pid_t pid = Spawn(argv, MergedEnvironment({DisplayEnv()}), -1, -1);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("xdotool failed: " + DescribeStatus(status));
}

}  // namespace limpet::test

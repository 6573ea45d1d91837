#include "CliRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace limpet::test {

namespace {

std::vector<std::string> Environment(const TRunOptions& options) {
  std::map<std::string, std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry(*e);
    size_t eq = entry.find('=');
    if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  for (const auto& [name, value] : options.Env) {
    if (value) {
      env[name] = *value;
    } else {
      env.erase(name);
    }
  }
  std::vector<std::string> result;
  for (const auto& [name, value] : env) result.push_back(name + "=" + value);
  return result;
}

// No run may take longer than this; a hung child is killed.
constexpr int kTimeoutMs = 120000;

// Everything readable from fd until the other side is closed, or until the
// time is up.
std::string Drain(int fd, pid_t child) {
  std::string data;
  char buffer[65536];
  for (int waited = 0;;) {
    pollfd p{fd, POLLIN, 0};
    int ready = ::poll(&p, 1, 100);
    if (ready == 0) {
      waited += 100;
      if (waited >= kTimeoutMs) {
        ADD_FAILURE() << "the tool did not finish in time";
        ::kill(child, SIGKILL);
        break;
      }
      continue;
    }
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // EIO on a pty once the child is gone
    data.append(buffer, static_cast<size_t>(n));
  }
  return data;
}

}  // namespace

TRun RunLimpet(const std::vector<std::string>& args, const std::string& cwd, const TRunOptions& options) {
  TRun run;
  const std::string program = LIMPET_CLI_PATH;
  TTempDir capture;
  const std::string outPath = capture.File("out");
  const std::string errPath = capture.File("err");

  int ptyMaster = -1;
  int ptySlave = -1;
  if (options.StderrOnTerminal || options.TypedInput) {
    if (openpty(&ptyMaster, &ptySlave, nullptr, nullptr, nullptr) != 0) {
      ADD_FAILURE() << "openpty: " << std::strerror(errno);
      return run;
    }
  }
  int deadPipe[2] = {-1, -1};
  if (options.StdoutClosedPipe) {
    if (::pipe(deadPipe) != 0) return run;
    ::close(deadPipe[0]);
  }

  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> argp;
  for (std::string& a : argv) argp.push_back(a.data());
  argp.push_back(nullptr);
  std::vector<std::string> env = Environment(options);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_t pid = ::fork();
  if (pid == 0) {
    if (ptySlave >= 0) {
      ::setsid();
      ::ioctl(ptySlave, TIOCSCTTY, 0);
    }
    int in = options.TypedInput ? ptySlave : ::open("/dev/null", O_RDONLY);
    int out = options.StdoutClosedPipe ? deadPipe[1] : ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = options.StderrOnTerminal ? ptySlave : ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (::chdir(cwd.c_str()) != 0) ::_exit(127);
    // The test program may ignore SIGPIPE; the tool must cope with the default.
    ::signal(SIGPIPE, SIG_DFL);
    ::execve(argp[0], argp.data(), envp.data());
    ::_exit(127);
  }
  if (ptySlave >= 0) ::close(ptySlave);
  if (deadPipe[1] >= 0) ::close(deadPipe[1]);
  std::string terminal;
  if (ptyMaster >= 0) {
    if (options.TypedInput) {
      // Wait for the prompt, then type.
      std::string seen;
      for (int i = 0; i < 100 && seen.find("assword") == std::string::npos; ++i) {
        pollfd p{ptyMaster, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
          char buffer[256];
          ssize_t n = ::read(ptyMaster, buffer, sizeof buffer);
          if (n <= 0) break;
          seen.append(buffer, static_cast<size_t>(n));
        }
      }
      terminal += seen;
      if (::write(ptyMaster, options.TypedInput->data(), options.TypedInput->size()) < 0) {
        ADD_FAILURE() << "cannot type into the terminal";
      }
    }
    terminal += Drain(ptyMaster, pid);
    ::close(ptyMaster);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) run.Code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.Signal = WTERMSIG(status);
  run.Out = FileExists(outPath) ? ReadFileBytes(outPath) : "";
  run.Err = FileExists(errPath) ? ReadFileBytes(errPath) : "";
  if (options.StderrOnTerminal || options.TypedInput) run.Err = terminal + run.Err;
  return run;
}

std::string Describe(const TRun& run) {
  return "exit " + std::to_string(run.Code) + (run.Signal != 0 ? " signal " + std::to_string(run.Signal) : "") +
         "\n--- stdout:\n" + run.Out.substr(0, 2000) + "\n--- stderr:\n" + run.Err.substr(0, 2000);
}

}  // namespace limpet::test

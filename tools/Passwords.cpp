#include "Passwords.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "Tool.h"

namespace limpet::cli {

namespace {

// The terminal settings to put back if a signal ends the program while a
// prompt has turned echo off.
struct termios GSavedTerminal;
volatile sig_atomic_t GEchoOff = 0;

void RestoreTerminalAndDie(int signal) {
  if (GEchoOff != 0) tcsetattr(STDIN_FILENO, TCSAFLUSH, &GSavedTerminal);
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

// Turns echo off for its lifetime, and back on also when the user
// interrupts the prompt.
class TNoEcho {
 public:
  TNoEcho() {
    if (tcgetattr(STDIN_FILENO, &GSavedTerminal) != 0) return;
    struct sigaction action {};
    action.sa_handler = RestoreTerminalAndDie;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < kSignals; ++i) sigaction(kSignalList[i], &action, &FOld[i]);
    struct termios quiet = GSavedTerminal;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    quiet.c_lflag |= ECHONL;
    if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0) GEchoOff = 1;
    FActive = true;
  }
  ~TNoEcho() {
    if (!FActive) return;
    if (GEchoOff != 0) tcsetattr(STDIN_FILENO, TCSAFLUSH, &GSavedTerminal);
    GEchoOff = 0;
    for (size_t i = 0; i < kSignals; ++i) sigaction(kSignalList[i], &FOld[i], nullptr);
  }
  TNoEcho(const TNoEcho&) = delete;
  TNoEcho& operator=(const TNoEcho&) = delete;

 private:
  static constexpr size_t kSignals = 4;
  static constexpr int kSignalList[kSignals] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
  struct sigaction FOld[kSignals] {};
  bool FActive = false;
};

void WriteToTerminal(const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// One line typed without echo; nothing when input ends first.
std::optional<std::string> ReadHidden(const std::string& prompt) {
  // Echo goes off first: switching it discards input typed before.
  TNoEcho noEcho;
  WriteToTerminal(prompt);
  std::string line;
  for (;;) {
    char c;
    ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    if (c == '\n') return line;
    line += c;
  }
}

// The bytes of a password file, less one line end.
std::string ReadPasswordFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EUsageError("cannot read the password file " + path);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw EUsageError("cannot read the password file " + path);
  if (!text.empty() && text.back() == '\n') text.pop_back();
  if (!text.empty() && text.back() == '\r') text.pop_back();
  return text;
}

}  // namespace

void AddPasswordOptions(CLI::App& command, TPasswordOptions& options) {
  auto* env = command.add_option("--password-env", options.EnvVar,
                                 "Take the password from this environment variable");
  env->type_name("VAR");
  auto* file = command.add_option("--password-file", options.File,
                                  "Take the password from this file (its first line end is dropped)");
  file->type_name("FILE")->check(CLI::ExistingFile);
  auto* value = command.add_option("--password", options.Value,
                                   "The password itself (other users of the machine can see it)");
  value->type_name("PASSWORD");
  options.ValueOption = value;
  auto* prompt = command.add_flag("--password-prompt", options.Prompt,
                                  "Ask for the password on the terminal, without echo");
  CLI::Option* all[] = {env, file, value, prompt};
  for (CLI::Option* a : all) {
    for (CLI::Option* b : all) {
      if (a != b) a->excludes(b);
    }
  }
}

TPassword::TPassword(const TPasswordOptions& options, bool confirm) : FConfirm(confirm) {
  std::string source;
  if (!options.EnvVar.empty()) {
    const char* value = std::getenv(options.EnvVar.c_str());
    if (value == nullptr) throw EUsageError("the environment variable " + options.EnvVar + " is not set");
    FValue = value;
    source = "the environment variable " + options.EnvVar;
  } else if (!options.File.empty()) {
    FValue = ReadPasswordFile(options.File);
    source = "the password file " + options.File;
  } else if (options.ValueOption != nullptr && options.ValueOption->count() > 0) {
    PrintWarning(
        "a password given with --password can be seen by other users of this machine; "
        "prefer --password-env or --password-file");
    FValue = options.Value;
    source = "--password";
  } else if (options.Prompt) {
    Require("the password");
    return;
  }
  if (FValue && FValue->empty()) throw EUsageError("the password from " + source + " is empty");
}

const std::string& TPassword::Require(const std::string& why) {
  if (FValue) return *FValue;
  if (!isatty(STDIN_FILENO)) {
    throw EUsageError(why +
                      " needs a password: give it with --password-env VAR, --password-file FILE or --password "
                      "PASSWORD, or run on a terminal to be asked for it");
  }
  std::optional<std::string> typed = ReadHidden("Password: ");
  if (!typed || typed->empty()) throw EUsageError("no password was typed");
  if (FConfirm) {
    std::optional<std::string> again = ReadHidden("Password again: ");
    if (!again || *again != *typed) throw EUsageError("the two passwords differ");
  }
  FValue = std::move(typed);
  return *FValue;
}

}  // namespace limpet::cli

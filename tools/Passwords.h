// Where a password comes from: an environment variable, a file, the command
// line, or a prompt on the terminal.
#pragma once

#include <optional>
#include <string>

namespace CLI {
class App;
class Option;
}

namespace limpet::cli {

struct TPasswordOptions {
  std::string EnvVar;
  std::string File;
  std::string Value;
  bool Prompt = false;
  // Tells an empty --password from none.
  const CLI::Option* ValueOption = nullptr;
};

// Adds --password-env, --password-file, --password and --password-prompt
// (at most one of them) to a command.
void AddPasswordOptions(CLI::App& command, TPasswordOptions& options);

// The password of one run of a command. Sources named on the command line
// are read when it is created (their problems are usage errors, and
// --password draws its warning at once); the prompt is shown only when a
// password is asked for and none was given.
class TPassword {
 public:
  // `confirm`: a prompt asks twice (for binding, where a typing error would
  // lock the data away).
  TPassword(const TPasswordOptions& options, bool confirm);

  // The password given, or nothing.
  const std::optional<std::string>& Given() const noexcept { return FValue; }

  // The password given or, when there is none and standard input is a
  // terminal, typed at a prompt without echo. Raises EUsageError when none
  // can be had; `why` says what needs it.
  const std::string& Require(const std::string& why);

 private:
  std::optional<std::string> FValue;
  bool FConfirm;
};

}  // namespace limpet::cli

// What every command of the tool shares: exit codes, error kinds, messages.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

namespace CLI {
class App;
}

namespace limpet::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// The tool was called wrongly: a missing or conflicting argument, a bad
// manifest, a password that cannot be had. Exit code 2.
class EUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A failure the library does not report itself (a file that cannot be
// written, a refused entry name). Exit code 1.
class EToolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A command: its parser and what runs once it has been parsed.
struct TCommand {
  CLI::App* App = nullptr;
  std::function<int()> Run;
};

TCommand AddBindCommand(CLI::App& app);
TCommand AddListCommand(CLI::App& app);
TCommand AddInfoCommand(CLI::App& app);
TCommand AddStripCommand(CLI::App& app);
TCommand AddExtractCommand(CLI::App& app);
TCommand AddExtractAllCommand(CLI::App& app);
TCommand AddVerifyCommand(CLI::App& app);

// "limpet: <message>" on standard error.
void PrintError(const std::string& message);
// "limpet: warning: <message>" on standard error.
void PrintWarning(const std::string& message);

// An example for the end of a command's help text.
std::string Example(const std::string& lines);

}  // namespace limpet::cli

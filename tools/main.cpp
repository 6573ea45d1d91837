// limpet: binds files to the end of an executable and reads them back.
#include <signal.h>

#include <CLI/CLI.hpp>
#include <iostream>
#include <new>
#include <vector>

#include "LQSysUtils.h"
#include "Tool.h"

namespace limpet::cli {

void PrintError(const std::string& message) { std::cerr << "limpet: " << message << std::endl; }

void PrintWarning(const std::string& message) { std::cerr << "limpet: warning: " << message << std::endl; }

std::string Example(const std::string& lines) { return "\nExample:\n" + lines + "\n"; }

namespace {

int RunCommand(const TCommand& command) {
  int code;
  try {
    code = command.Run();
  } catch (const EUsageError& e) {
    PrintError(e.what());
    return kExitUsage;
  } catch (const EToolError& e) {
    PrintError(e.what());
    return kExitFailure;
  } catch (const Exception& e) {
    PrintError(e.Message());
    return kExitFailure;
  } catch (const std::bad_alloc&) {
    PrintError("out of memory");
    return kExitFailure;
  } catch (const std::exception& e) {
    PrintError(e.what());
    return kExitFailure;
  }
  if (!std::cout.flush()) {
    PrintError("cannot write to standard output");
    return kExitFailure;
  }
  return code;
}

int Main(int argc, char** argv) {
  // A reader that goes away (`limpet extract ... | head`) is a write error,
  // not a signal.
  ::signal(SIGPIPE, SIG_IGN);

  CLI::App app("Binds files to the end of an executable and reads them back.", "limpet");
  app.require_subcommand(1, 1);
  app.footer(Example(
      "  limpet bind viewer a.jpg b.jpg --level 6 --password-env PHOTOS_PASSWORD\n"
      "  limpet list viewer\n"
      "Run `limpet COMMAND --help` for the options of a command."));
  const std::vector<TCommand> commands = {
      AddBindCommand(app),   AddListCommand(app),       AddInfoCommand(app),   AddExtractCommand(app),
      AddExtractAllCommand(app), AddVerifyCommand(app), AddStripCommand(app),
  };
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  }
  for (const TCommand& command : commands) {
    if (command.App->parsed()) return RunCommand(command);
  }
  return kExitUsage;
}

}  // namespace
}  // namespace limpet::cli

int main(int argc, char** argv) { return limpet::cli::Main(argc, argv); }

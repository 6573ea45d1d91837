// Running the `limpet` executable from the tests.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace limpet::test {

struct TRun {
  int Code = -1;       // exit status, -1 when it did not exit normally
  int Signal = 0;      // the signal that ended it, 0 when none did
  std::string Out;
  std::string Err;     // standard error (the terminal's output when on a pty)
};

struct TRunOptions {
  // Added to (or, with nullopt, removed from) the environment.
  std::map<std::string, std::optional<std::string>> Env;
  // Standard error goes to a pseudo-terminal whose output lands in Err.
  bool StderrOnTerminal = false;
  // Standard input is a pseudo-terminal that receives these bytes.
  std::optional<std::string> TypedInput;
  // Standard output is a pipe that nobody reads.
  bool StdoutClosedPipe = false;
};

// Runs limpet with these arguments in `cwd`, standard input from /dev/null
// unless typed input is asked for.
TRun RunLimpet(const std::vector<std::string>& args, const std::string& cwd, const TRunOptions& options = {});

// Readable summary of a run for failure messages.
std::string Describe(const TRun& run);

}  // namespace limpet::test

// Shared fixture of the tool's tests: a temporary folder holding a
// stand-in executable, and ways to run the tool in it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "TestSupport.h"

namespace limpet::test {

using nlohmann::json;

const char* const SNoSignature = "Invalid signature in EXE file, cannot extract files from it!";
const char* const SWrongPassword = "Incorrect password for the file entry.";

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string(LIMPET_CLI_PATH).empty()) GTEST_SKIP() << "the tool is not built";
    WriteFileBytes(exe, original);
  }

  std::string Path(const std::string& name) const { return dir.File(name); }
  void Write(const std::string& name, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(Path(name)).parent_path());
    WriteFileBytes(Path(name), bytes);
  }
  std::string Read(const std::string& name) const { return ReadFileBytes(Path(name)); }

  TRun Run(const std::vector<std::string>& args, const TRunOptions& options = {}) {
    TRun run = RunLimpet(args, dir.Path(), options);
    EXPECT_EQ(run.Signal, 0) << Describe(run);
    return run;
  }
  // Runs and expects exit status 0.
  TRun Ok(const std::vector<std::string>& args, const TRunOptions& options = {}) {
    TRun run = Run(args, options);
    EXPECT_EQ(run.Code, 0) << Describe(run);
    return run;
  }
  json ListJson(const std::string& file = "program") {
    TRun run = Ok({"list", file, "--json"});
    return json::parse(run.Out);
  }
  void WriteManifest(const std::string& name, const json& entries) {
    Write(name, json{{"entries", entries}}.dump());
  }

  TTempDir dir;
  static constexpr char kStandIn[] = "\x7F" "ELF stand-in program\0\x01\x02\x03";
  const std::string original = std::string(kStandIn, sizeof kStandIn - 1);
  const std::string exe = dir.File("program");
};

}  // namespace limpet::test

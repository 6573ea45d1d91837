// End-to-end tests of the `limpet` command-line tool: each runs the built
// executable and checks its exit status, output and the files it leaves.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "CliFixture.h"

namespace limpet::test {
namespace {

using nlohmann::json;

// ------------------------------------------------------------------ bind, list

TEST_F(CliTest, BindFilesAndListThemAsJson) {
  Write("photos/a.jpg", "alpha bytes");
  Write("photos/b.jpg", std::string("b\0inary", 7));
  Write("c.txt", "");
  TRun bind = Ok({"bind", "program", "photos/a.jpg", "photos/b.jpg", "c.txt", "--id-start", "10", "--name-from",
                  "basename"});
  EXPECT_EQ(bind.Err, "");

  const json expected = json::parse(R"({"entries":[
    {"index":0,"name":"a.jpg","id":10,"level":0,"encrypted":false,"offset":0,"stored_size":11,"plain_size":11},
    {"index":1,"name":"b.jpg","id":11,"level":0,"encrypted":false,"offset":20,"stored_size":7,"plain_size":7},
    {"index":2,"name":"c.txt","id":12,"level":0,"encrypted":false,"offset":36,"stored_size":0,"plain_size":0}]})");
  const TRun list = Ok({"list", "program", "--json"});
  EXPECT_EQ(json::parse(list.Out), expected);
  // The keys come in the documented order.
  EXPECT_LT(list.Out.find("\"index\""), list.Out.find("\"name\""));
  EXPECT_LT(list.Out.find("\"offset\""), list.Out.find("\"stored_size\""));
  // The executable's own bytes are untouched.
  EXPECT_EQ(Read("program").substr(0, original.size()), original);
}

TEST_F(CliTest, QuickBindDefaultsAndLevels) {
  const std::string text = TextBytes(50000, 1);
  Write("dir/t.txt", text);
  Ok({"bind", "program", "dir/t.txt", "--level", "9"});
  const json entry = ListJson()["entries"][0];
  EXPECT_EQ(entry["name"], "dir/t.txt");  // the path as given
  EXPECT_EQ(entry["id"], -1);
  EXPECT_EQ(entry["level"], 9);
  EXPECT_EQ(entry["plain_size"], 50000);
  EXPECT_LT(entry["stored_size"].get<int64_t>(), 25000);
  EXPECT_EQ(Ok({"extract", "program", "--name", "dir/t.txt"}).Out, text);
}

TEST_F(CliTest, TableEscapesWhatATerminalWouldObey) {
  Write("a", "x");
  WriteManifest("m.json", json::array({{{"file", "a"}, {"name", "evil\x1b[2Jname\x07"}, {"id", 3}, {"level", 4}}}));
  Ok({"bind", "program", "--manifest", "m.json"});
  const TRun list = Ok({"list", "program"});
  EXPECT_EQ(list.Out.find('\x1b'), std::string::npos);
  EXPECT_EQ(list.Out.find('\x07'), std::string::npos);
  EXPECT_NE(list.Out.find("evil\\x1b[2Jname\\x07"), std::string::npos) << list.Out;
  EXPECT_NE(list.Out.find("1 entry"), std::string::npos);
}

TEST_F(CliTest, ManifestSetsEveryFieldAndDefaults) {
  Write("in/a.bin", RandomBytes(3000, 2));
  Write("in/b.txt", TextBytes(4000, 3));
  Write("in/c.txt", "plain");
  Write("in/d.txt", "own password");
  WriteManifest("in/m.json", json::array({
                                 {{"file", "a.bin"}},
                                 {{"file", "b.txt"}, {"name", "docs/b"}, {"id", 7}, {"level", 6}},
                                 {{"file", "c.txt"}, {"name", "c"}, {"password", ""}},
                                 {{"file", "d.txt"}, {"name", "d"}, {"password", "Own"}},
                             }));
  // Relative paths are read from the manifest's folder; the command-line
  // password goes to the entries without one in the manifest.
  Ok({"bind", "program", "--manifest", "in/m.json", "--password-env", "PW"}, {{{"PW", "Shared"}}});
  const json entries = ListJson()["entries"];
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0]["name"], "a.bin");
  EXPECT_EQ(entries[0]["id"], -1);
  EXPECT_EQ(entries[0]["level"], 0);
  EXPECT_EQ(entries[0]["encrypted"], true);
  EXPECT_EQ(entries[1]["name"], "docs/b");
  EXPECT_EQ(entries[1]["id"], 7);
  EXPECT_EQ(entries[1]["level"], 6);
  EXPECT_EQ(entries[1]["encrypted"], true);
  EXPECT_EQ(entries[2]["encrypted"], false);
  EXPECT_EQ(entries[3]["encrypted"], true);

  EXPECT_EQ(Ok({"extract", "program", "--name", "a.bin", "--password", "Shared"}).Out, RandomBytes(3000, 2));
  EXPECT_EQ(Ok({"extract", "program", "--id", "7", "--password", "Shared"}).Out, TextBytes(4000, 3));
  EXPECT_EQ(Ok({"extract", "program", "--name", "c"}).Out, "plain");
  EXPECT_EQ(Ok({"extract", "program", "--name", "d", "--password", "Own"}).Out, "own password");
  const TRun wrong = Run({"extract", "program", "--name", "d", "--password", "Shared"});
  EXPECT_EQ(wrong.Code, 1);
  EXPECT_NE(wrong.Err.find(SWrongPassword), std::string::npos) << wrong.Err;
}

TEST_F(CliTest, EmptyBindingAndRebinding) {
  Ok({"bind", "program"});
  const std::string empty = Read("program");
  ASSERT_EQ(empty.size(), original.size() + 22);
  EXPECT_EQ(ToHex(empty.substr(original.size())),
            "4C 51 05 06 00 00 00 00 00 00 00 00 00 00 0E 00 00 00 4C 51 08 07");
  EXPECT_EQ(ListJson(), json::parse(R"({"entries":[]})"));

  Write("a", "alpha");
  Ok({"bind", "program", "a", "--level", "3"});
  const std::string once = Read("program");
  Ok({"bind", "program", "a", "--level", "3"});
  EXPECT_EQ(Read("program"), once);  // the earlier block was replaced, not kept
}

TEST_F(CliTest, NamesThatAreNotUtf8AreGivenInHex) {
  Write("a", "x");
  WriteManifest("m.json", json::array({{{"file", "a"}, {"name", "ok-\xC3\xA9"}}}));
  Ok({"bind", "program", "--manifest", "m.json"});
  EXPECT_EQ(ListJson()["entries"][0]["name"], "ok-\xC3\xA9");

  // JSON cannot carry such a name, so bind it through the command line.
  const std::string latin1 = "caf\xE9";
  Write(latin1, "x");
  Ok({"bind", "program", latin1});
  const json entry = ListJson()["entries"][0];
  EXPECT_FALSE(entry.contains("name"));
  EXPECT_EQ(entry["name_hex"], "636166e9");
  EXPECT_EQ(Ok({"extract", "program", "--name", latin1}).Out, "x");
}

// ------------------------------------------------------------------ info, strip

TEST_F(CliTest, InfoTellsWhereTheBlockLies) {
  Write("a", "alpha");
  Ok({"bind", "program", "a"});
  const json info = json::parse(Ok({"info", "program", "--json"}).Out);
  const int64_t blockSize = 9 + 5 + 11 + 1 + 14;
  EXPECT_EQ(info, json({{"file_size", original.size() + blockSize + 8},
                        {"block_start", original.size()},
                        {"block_size", blockSize},
                        {"tail_size", 8},
                        {"entries", 1}}));
  const TRun text = Ok({"info", "program"});
  EXPECT_NE(text.Out.find("block start: " + std::to_string(original.size())), std::string::npos) << text.Out;
  EXPECT_NE(text.Out.find("entries:     1"), std::string::npos) << text.Out;
}

TEST_F(CliTest, StripLeavesTheOriginalBytes) {
  Write("a", TextBytes(10000, 5));
  Ok({"bind", "program", "a", "--level", "6", "--password", "pw"});
  ASSERT_NE(Read("program"), original);
  Ok({"strip", "program"});
  EXPECT_EQ(Read("program"), original);

  // A second strip finds nothing to remove and changes nothing.
  const TRun again = Run({"strip", "program"});
  EXPECT_EQ(again.Code, 1);
  EXPECT_EQ(again.Err, std::string("limpet: ") + SNoSignature + "\n");
  EXPECT_EQ(Read("program"), original);
}

// ------------------------------------------------------------------ errors

TEST_F(CliTest, RuntimeErrorsCarryTheLibraryMessage) {
  Write("a", "alpha");
  Write("unbound", "never bound");
  Write("short", "1234");
  Write("bound", original);
  Ok({"bind", "bound", "a", "--id-start", "5", "--password", "pw"});
  struct TCase {
    std::vector<std::string> args;
    std::string message;
  };
  const TCase cases[] = {
      {{"list", "unbound"}, SNoSignature},
      {{"list", "short"}, SNoSignature},
      {{"info", "unbound"}, SNoSignature},
      {{"verify", "unbound"}, SNoSignature},
      {{"extract-all", "unbound", "-C", "out"}, SNoSignature},
      {{"list", "missing"}, "Cannot open file missing"},
      {{"extract", "bound", "--name", "nope"}, "Cannot find the file entry with the specified name."},
      {{"extract", "bound", "--id", "4"}, "Cannot find the file entry with the specified ID."},
      {{"extract", "bound", "--id", "5", "--password", "wrong"}, SWrongPassword},
      {{"bind", "missing", "a"}, "Cannot open file missing"},
      {{"bind", "unbound", "a", "nothere"}, "Cannot open file nothere"},
  };
  for (const TCase& c : cases) {
    const TRun run = Run(c.args);
    EXPECT_EQ(run.Code, 1) << c.args[0] << " " << c.args[1] << "\n" << Describe(run);
    EXPECT_NE(run.Err.find("limpet: " + c.message + "\n"), std::string::npos) << Describe(run);
    EXPECT_EQ(run.Out, "");
  }
  // A failed bind leaves the file as it was.
  EXPECT_EQ(Read("unbound"), "never bound");
  EXPECT_FALSE(FileExists(Path("out")) && !std::filesystem::is_empty(Path("out")));
}

TEST_F(CliTest, UsageErrorsExitWithTwo) {
  Write("a", "alpha");
  Write("bound", original);
  Ok({"bind", "bound", "a"});
  Write("bad.json", "{\"entries\": [");
  Write("pwfile", "");
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"list"},
      {"bind"},
      {"extract", "bound"},
      {"extract", "bound", "--name", "a", "--id", "1"},
      {"extract", "bound", "--name", "a", "-o", "bound"},
      {"extract-all", "bound"},
      {"bind", "bound", "a", "--level", "10"},
      {"bind", "bound", "a", "--level", "x"},
      {"bind", "bound", "a", "--name-from", "stem"},
      {"bind", "bound", "a", "--manifest", "bad.json"},
      {"bind", "bound", "--manifest", "nothere.json"},
      {"bind", "bound", "a", "--id-start", "2147483647", "a"},
      {"bind", "bound", "a", "--password", "p", "--password-env", "PW"},
      {"bind", "bound", "a", "--password-env", "LIMPET_TEST_UNSET_VARIABLE"},
      {"bind", "bound", "a", "--password-file", "pwfile"},
      {"bind", "bound", "a", "--password", ""},
      {"list", "bound", "--frob"},
  };
  const std::string before = Read("bound");
  for (const auto& args : cases) {
    const TRun run = Run(args, {{{"LIMPET_TEST_UNSET_VARIABLE", std::nullopt}}});
    std::string line;
    for (const auto& a : args) line += a + " ";
    EXPECT_EQ(run.Code, 2) << line << "\n" << Describe(run);
    EXPECT_NE(run.Err, "") << line;
  }
  EXPECT_EQ(Read("bound"), before);
}

TEST_F(CliTest, ManifestProblemsAreRefusedBeforeBinding) {
  Write("a", "alpha");
  struct TCase {
    std::string manifest;
    std::string message;
  };
  const TCase cases[] = {
      {"[1, 2]", "the top level must be an object"},
      {R"({"entries": {}})", "\"entries\" must be an array"},
      {R"({"entries": [], "extra": 1})", "unknown key \"extra\""},
      {R"({"entries": [{"name": "x"}]})", "entry 0 needs \"file\""},
      {R"({"entries": [{"file": "a", "pasword": "x"}]})", "entry 0 has the unknown key \"pasword\""},
      {R"({"entries": [{"file": "a"}, {"file": "a", "level": 12}]})", "entry 1: \"level\" must be an integer from 0 to 9"},
      {R"({"entries": [{"file": "a", "level": 1.5}]})", "\"level\" must be an integer"},
      {R"({"entries": [{"file": "a", "id": 4294967296}]})", "\"id\" must fit in 32 bits"},
      {R"({"entries": [{"file": "a", "id": "7"}]})", "\"id\" must be an integer"},
      {R"({"entries": [{"file": "a", "password": 7}]})", "\"password\" must be a string"},
      {"{\"entries\": [{\"file\": \"a\"}", "not valid JSON"},
  };
  for (const TCase& c : cases) {
    Write("m.json", c.manifest);
    const TRun run = Run({"bind", "program", "--manifest", "m.json"});
    EXPECT_EQ(run.Code, 2) << c.manifest << "\n" << Describe(run);
    EXPECT_NE(run.Err.find("manifest m.json: "), std::string::npos) << Describe(run);
    EXPECT_NE(run.Err.find(c.message), std::string::npos) << c.manifest << "\n" << Describe(run);
    EXPECT_EQ(Read("program"), original);
  }
}

TEST_F(CliTest, HelpForEveryCommandHasAnExample) {
  for (const char* command : {"bind", "list", "info", "extract", "extract-all", "verify", "strip"}) {
    const TRun run = Ok({command, "--help"});
    EXPECT_NE(run.Out.find("Example:\n  limpet " + std::string(command) + " "), std::string::npos)
        << command << "\n"
        << run.Out;
  }
  EXPECT_NE(Ok({"--help"}).Out.find("extract-all"), std::string::npos);
}

}  // namespace
}  // namespace limpet::test

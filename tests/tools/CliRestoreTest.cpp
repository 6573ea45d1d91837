// End-to-end tests of restoring: extract, extract-all with hostile names,
// verify with damaged files, password sources, progress, and files that
// must not bring the tool down.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "CliFixture.h"

namespace limpet::test {
namespace {

namespace fs = std::filesystem;

class CliRestoreTest : public CliTest {
 protected:
  // Position in the file of the first payload byte of entry `index`.
  int64_t PayloadPosition(const std::string& file, int index) {
    const json info = json::parse(Ok({"info", file, "--json"}).Out);
    const json entry = ListJson(file)["entries"][index];
    return info["block_start"].get<int64_t>() + entry["offset"].get<int64_t>() + 9;
  }
  void Patch(const std::string& file, int64_t position, const std::string& bytes) {
    std::string data = Read(file);
    data.replace(static_cast<size_t>(position), bytes.size(), bytes);
    Write(file, data);
  }
  // Everything below `folder`, as sorted relative paths.
  std::vector<std::string> Tree(const std::string& folder) {
    std::vector<std::string> paths;
    for (const auto& e : fs::recursive_directory_iterator(Path(folder))) {
      paths.push_back(fs::relative(e.path(), Path(folder)).string());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
  }
};

// ------------------------------------------------------------------ extract

TEST_F(CliRestoreTest, ExtractToStandardOutputAndToAFile) {
  const std::string binary = RandomBytes(200000, 9) + std::string("\0\r\n\0", 4);
  Write("bin", binary);
  Write("pw", "secret\n");
  Ok({"bind", "program", "bin", "--level", "1", "--id-start", "1", "--password-file", "pw"});

  const TRun out = Ok({"extract", "program", "--id", "1", "--password-file", "pw"});
  EXPECT_EQ(out.Out, binary);
  EXPECT_EQ(out.Err, "");

  Ok({"extract", "program", "--name", "bin", "-o", "copy", "--password-env", "PW"}, {{{"PW", "secret"}}});
  EXPECT_EQ(Read("copy"), binary);

  // A wrong password creates no output file.
  const TRun wrong = Run({"extract", "program", "--name", "bin", "-o", "other", "--password", "Secret"});
  EXPECT_EQ(wrong.Code, 1);
  EXPECT_NE(wrong.Err.find(SWrongPassword), std::string::npos);
  EXPECT_FALSE(FileExists(Path("other")));
}

TEST_F(CliRestoreTest, DuplicatesRestoreTheFirst) {
  Write("one", "first");
  Write("two", "second");
  WriteManifest("m.json", json::array({{{"file", "one"}, {"name", "same"}, {"id", 4}},
                                       {{"file", "two"}, {"name", "same"}, {"id", 4}}}));
  Ok({"bind", "program", "--manifest", "m.json"});
  EXPECT_EQ(Ok({"extract", "program", "--name", "same"}).Out, "first");
  EXPECT_EQ(Ok({"extract", "program", "--id", "4"}).Out, "first");
  const TRun all = Ok({"extract-all", "program", "-C", "out"});
  EXPECT_EQ(Read("out/same"), "first");
  EXPECT_NE(all.Err.find("entry 1 \"same\" skipped: entry 0 has the same name"), std::string::npos) << all.Err;
}

TEST_F(CliRestoreTest, ExtractToAClosedPipeIsAnErrorNotASignal) {
  Write("big", RandomBytes(1 << 20, 4));
  Ok({"bind", "program", "big"});
  TRunOptions options;
  options.StdoutClosedPipe = true;
  const TRun run = Run({"extract", "program", "--name", "big"}, options);
  EXPECT_EQ(run.Code, 1) << Describe(run);
  EXPECT_NE(run.Err.find("cannot write to standard output"), std::string::npos) << run.Err;
}

// ------------------------------------------------------------------ extract-all

TEST_F(CliRestoreTest, ExtractAllRestoresNestedNames) {
  Write("a", "alpha");
  Write("b", TextBytes(30000, 2));
  Write("c", "");
  WriteManifest("m.json", json::array({{{"file", "a"}, {"name", "top.txt"}},
                                       {{"file", "b"}, {"name", "docs/./deep//b.txt"}, {"level", 9}},
                                       {{"file", "c"}, {"name", "docs/empty"}, {"password", "pw"}}}));
  Ok({"bind", "program", "--manifest", "m.json", "--password", "pw"});
  // The folder is created, with the folders the names need.
  const TRun run = Ok({"extract-all", "program", "-C", "out/here", "--password", "pw"});
  EXPECT_EQ(run.Out, "top.txt\ndocs/deep/b.txt\ndocs/empty\n");
  EXPECT_EQ(Read("out/here/top.txt"), "alpha");
  EXPECT_EQ(Read("out/here/docs/deep/b.txt"), TextBytes(30000, 2));
  EXPECT_EQ(Read("out/here/docs/empty"), "");
  // Existing files are replaced.
  Write("out/here/top.txt", "old and longer content");
  Ok({"extract-all", "program", "-C", "out/here", "--password", "pw"});
  EXPECT_EQ(Read("out/here/top.txt"), "alpha");
}

TEST_F(CliRestoreTest, ExtractAllRefusesHostileNamesAndWritesNothingOutside) {
  Write("payload", "hostile");
  Write("good", "good");
  fs::create_directories(Path("outside"));
  Write("outside/victim", "untouched");
  fs::create_directories(Path("out/inner"));
  // Links planted in the target folder: out of it, and within it.
  fs::create_directory_symlink(Path("outside"), Path("out/escape"));
  fs::create_directory_symlink("../outside", Path("out/relative-escape"));
  fs::create_symlink(Path("outside/victim"), Path("out/victim-link"));
  fs::create_symlink("../outside/new-file", Path("out/dangling-link"));
  fs::create_directory_symlink("inner", Path("out/inner-link"));

  struct TCase {
    const char* name;
    const char* message;  // empty: restored
  };
  const TCase cases[] = {
      {"/abs/evil", "the name is an absolute path"},
      {"../evil", "the name contains a \"..\" part"},
      {"a/../../evil", "the name contains a \"..\" part"},
      {"inner/..", "the name contains a \"..\" part"},
      {".", "the name names no file"},
      {"escape/evil", "through a symbolic link"},
      {"relative-escape/evil", "through a symbolic link"},
      {"victim-link", "through a symbolic link"},
      {"dangling-link", "through a symbolic link"},
      {"inner-link/kept", ""},
      {"fine/good", ""},
  };
  json entries = json::array();
  for (const TCase& c : cases) entries.push_back({{"file", "payload"}, {"name", c.name}});
  WriteManifest("m.json", entries);
  Ok({"bind", "program", "--manifest", "m.json"});

  const TRun run = Run({"extract-all", "program", "-C", "out"});
  EXPECT_EQ(run.Code, 1) << Describe(run);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const std::string prefix = "entry " + std::to_string(i) + " \"" + cases[i].name + "\"";
    if (*cases[i].message == '\0') {
      EXPECT_EQ(run.Err.find(prefix), std::string::npos) << run.Err;
    } else {
      const size_t at = run.Err.find("limpet: " + prefix);
      ASSERT_NE(at, std::string::npos) << prefix << "\n" << run.Err;
      const std::string line = run.Err.substr(at, run.Err.find('\n', at) - at);
      EXPECT_NE(line.find(cases[i].message), std::string::npos) << line;
    }
  }
  EXPECT_NE(run.Err.find("limpet: 9 of 11 entries were not restored"), std::string::npos) << run.Err;
  EXPECT_EQ(run.Out, "inner-link/kept\nfine/good\n");

  // Nothing outside the folder changed; the link within it was followed.
  EXPECT_EQ(Tree("outside"), std::vector<std::string>{"victim"});
  EXPECT_EQ(Read("outside/victim"), "untouched");
  EXPECT_FALSE(FileExists("/abs/evil"));
  EXPECT_FALSE(FileExists(Path("evil")));
  EXPECT_EQ(Read("out/inner/kept"), "hostile");
  EXPECT_EQ(Read("out/fine/good"), "hostile");
}

TEST_F(CliRestoreTest, ExtractAllGoesOnAfterADamagedEntry) {
  Write("a", TextBytes(20000, 1));
  Write("b", "second");
  Ok({"bind", "program", "a", "b", "--level", "6"});
  Patch("program", PayloadPosition("program", 0) + 40, "\x55\x55\x55\x55");
  const TRun run = Run({"extract-all", "program", "-C", "out"});
  EXPECT_EQ(run.Code, 1) << Describe(run);
  EXPECT_NE(run.Err.find("limpet: entry 0 \"a\": "), std::string::npos) << run.Err;
  EXPECT_FALSE(FileExists(Path("out/a")));
  EXPECT_EQ(Read("out/b"), "second");
}

// ------------------------------------------------------------------ verify

TEST_F(CliRestoreTest, VerifyReportsEachEntry) {
  Write("a", TextBytes(20000, 1));
  Write("b", RandomBytes(5000, 2));
  Write("c", "stored");
  WriteManifest("m.json", json::array({{{"file", "a"}, {"level", 6}},
                                       {{"file", "b"}, {"level", 1}, {"password", "pw"}},
                                       {{"file", "c"}}}));
  Ok({"bind", "program", "--manifest", "m.json"});
  const TRun ok = Ok({"verify", "program", "--password", "pw"});
  EXPECT_NE(ok.Out.find("ok      0  a\nok      1  b\nok      2  c\n3 entries: 3 ok, 0 failed\n"), std::string::npos)
      << ok.Out;

  const TRun wrong = Run({"verify", "program", "--password", "nope"});
  EXPECT_EQ(wrong.Code, 1);
  EXPECT_NE(wrong.Out.find(std::string("FAILED  1  b: ") + SWrongPassword), std::string::npos) << wrong.Out;
  EXPECT_NE(wrong.Out.find("ok      0  a"), std::string::npos);
  EXPECT_NE(wrong.Err.find("limpet: 1 of 3 entries failed"), std::string::npos) << wrong.Err;

  // No password and no terminal to ask on.
  const TRun none = Run({"verify", "program"});
  EXPECT_EQ(none.Code, 2);
  EXPECT_NE(none.Err.find("needs a password"), std::string::npos) << none.Err;
}

TEST_F(CliRestoreTest, VerifyFindsDamagedData) {
  Write("a", TextBytes(20000, 1));
  Write("b", "stored bytes");
  Ok({"bind", "program", "a", "b", "--level", "6"});
  const std::string sound = Read("program");
  struct TCase {
    const char* what;
    int64_t position;
    std::string bytes;
    const char* failure;
  };
  const int64_t a = PayloadPosition("program", 0);
  const TCase cases[] = {
      {"compressed bytes changed", a + 200, "\xAA\xBB\xCC\xDD", "FAILED  0  a: "},
      {"plain size in the header raised", a - 4, "\x21\x4E", "FAILED  0  a: Invalid file entry: its compressed data end before"},
      {"stored size in the header raised", a - 8, "\xFF\xFF\x0F", "FAILED  0  a: Invalid file entry: its stored data runs past"},
  };
  for (const TCase& c : cases) {
    Write("program", sound);
    Patch("program", c.position, c.bytes);
    const TRun run = Run({"verify", "program"});
    EXPECT_EQ(run.Code, 1) << c.what << "\n" << Describe(run);
    EXPECT_NE(run.Out.find(c.failure), std::string::npos) << c.what << "\n" << run.Out;
    EXPECT_NE(run.Out.find("ok      1  b"), std::string::npos) << c.what << "\n" << run.Out;
  }
  // A damaged directory spoils the whole file.
  Write("program", sound);
  Patch("program", static_cast<int64_t>(sound.size()) - 8 - 14, "XXXX");
  const TRun run = Run({"verify", "program"});
  EXPECT_EQ(run.Code, 1);
  EXPECT_EQ(run.Err, "limpet: Invalid signature in central header information.\n");
}

// ------------------------------------------------------------------ passwords

TEST_F(CliRestoreTest, PasswordSources) {
  Write("a", "alpha");
  Write("pw-crlf", "Kelp\r\n");
  Write("pw-plain", "Kelp");
  Ok({"bind", "program", "a", "--password-env", "PW"}, {{{"PW", "Kelp"}}});

  EXPECT_EQ(Ok({"extract", "program", "--name", "a", "--password-file", "pw-crlf"}).Out, "alpha");
  EXPECT_EQ(Ok({"extract", "program", "--name", "a", "--password-file", "pw-plain"}).Out, "alpha");
  const TRun env = Ok({"extract", "program", "--name", "a", "--password-env", "PW"}, {{{"PW", "Kelp"}}});
  EXPECT_EQ(env.Err, "");
  const TRun flag = Ok({"extract", "program", "--name", "a", "--password", "Kelp"});
  EXPECT_EQ(flag.Out, "alpha");
  EXPECT_NE(flag.Err.find("limpet: warning: a password given with --password can be seen by other users"),
            std::string::npos)
      << flag.Err;

  // An entry that is not encrypted needs no password, and ignores one.
  Ok({"bind", "program", "a"});
  EXPECT_EQ(Ok({"extract", "program", "--name", "a"}).Out, "alpha");
  EXPECT_EQ(Ok({"extract", "program", "--name", "a", "--password-file", "pw-plain"}).Out, "alpha");
}

TEST_F(CliRestoreTest, PromptOnATerminalWithoutEcho) {
  Write("a", "alpha");
  Ok({"bind", "program", "a", "--password", "KelpForest"});
  TRunOptions options;
  options.StderrOnTerminal = true;
  options.TypedInput = "KelpForest\n";
  const TRun run = Run({"extract", "program", "--name", "a"}, options);
  EXPECT_EQ(run.Code, 0) << Describe(run);
  EXPECT_EQ(run.Out, "alpha");
  EXPECT_NE(run.Err.find("Password: "), std::string::npos) << run.Err;
  EXPECT_EQ(run.Err.find("KelpForest"), std::string::npos) << run.Err;
}

// ------------------------------------------------------------------ progress

TEST_F(CliRestoreTest, ProgressBarOnlyOnATerminalAndForLargeWork) {
  Write("big", RandomBytes(9 << 20, 7));
  Write("small", "small");
  const TRun quiet = Ok({"bind", "program", "big", "--password", "pw"});
  EXPECT_EQ(quiet.Err.find('['), std::string::npos) << quiet.Err;

  TRunOptions terminal;
  terminal.StderrOnTerminal = true;
  const TRun bind = Ok({"bind", "program", "big", "small", "--password-env", "PW"}, [&] {
    TRunOptions o = terminal;
    o.Env["PW"] = "pw";
    return o;
  }());
  EXPECT_NE(bind.Err.find("binding ["), std::string::npos) << bind.Err;
  EXPECT_NE(bind.Err.find("100%"), std::string::npos) << bind.Err;
  const TRun verify = Ok({"verify", "program", "--password-env", "PW"}, [&] {
    TRunOptions o = terminal;
    o.Env["PW"] = "pw";
    return o;
  }());
  EXPECT_NE(verify.Err.find("verifying ["), std::string::npos) << verify.Err;
  const TRun all = Ok({"extract-all", "program", "-C", "out", "--password-env", "PW"}, [&] {
    TRunOptions o = terminal;
    o.Env["PW"] = "pw";
    return o;
  }());
  EXPECT_NE(all.Err.find("restoring ["), std::string::npos) << all.Err;

  // Small work draws nothing, even on a terminal.
  const TRun small = Ok({"bind", "program", "small"}, terminal);
  EXPECT_EQ(small.Err.find('['), std::string::npos) << small.Err;
}

// ------------------------------------------------------------------ robustness

TEST_F(CliRestoreTest, DamagedFilesNeverBringTheToolDown) {
  Write("a", TextBytes(3000, 1));
  Write("b", RandomBytes(500, 2));
  Ok({"bind", "program", "a", "b", "--level", "5", "--password", "pw"});
  const std::string sound = Read("program");
  const int64_t start = static_cast<int64_t>(original.size());
  std::vector<std::string> variants;
  // Cut short at many places, which also leaves tails that are not tails.
  for (int64_t cut = 1; cut < static_cast<int64_t>(sound.size()); cut += static_cast<int64_t>(sound.size()) / 12) {
    variants.push_back(sound.substr(0, static_cast<size_t>(cut)));
  }
  // Bytes of the block overwritten, the tail kept.
  const std::string fill[] = {std::string(4, '\xFF'), std::string(4, '\0'), "\x80\x80\x80\x80"};
  for (int64_t at = start; at + 4 < static_cast<int64_t>(sound.size()) - 8; at += 97) {
    std::string v = sound;
    v.replace(static_cast<size_t>(at), 4, fill[at % 3]);
    variants.push_back(v);
  }
  // Directory fields at their extremes, and a block size of every kind.
  const int64_t central = static_cast<int64_t>(sound.size()) - 8 - 14;
  for (const std::string& bytes : {std::string("\xFF\xFF"), std::string("\0\0\0\0", 4)}) {
    std::string v = sound;
    v.replace(static_cast<size_t>(central + 4), bytes.size(), bytes);
    variants.push_back(v);
  }
  for (const std::string& size : {std::string("\0\0\0\0", 4), std::string("\x0E\0\0\0", 4), std::string("\xFF\xFF\xFF\x7F")}) {
    std::string v = sound;
    v.replace(v.size() - 8, 4, size);
    variants.push_back(v);
  }
  for (size_t i = 0; i < variants.size(); ++i) {
    Write("damaged", variants[i]);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"list", "damaged", "--json"}, {"verify", "damaged", "--password", "pw"},
          {"extract-all", "damaged", "-C", "out", "--password", "pw"}, {"info", "damaged"}}) {
      const TRun run = RunLimpet(args, dir.Path());
      ASSERT_EQ(run.Signal, 0) << "variant " << i << " " << args[0] << "\n" << Describe(run);
      ASSERT_TRUE(run.Code == 0 || run.Code == 1) << "variant " << i << " " << args[0] << "\n" << Describe(run);
      if (args[0] == "list" && run.Code == 0) {
        EXPECT_NO_THROW(json::parse(run.Out));
      }
    }
  }
}

}  // namespace
}  // namespace limpet::test

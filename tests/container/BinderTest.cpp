#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "BoundLayout.h"
#include "ContainerFixture.h"
#include "LQExcept.h"
#include "LQStreams.h"
#include "Limpet.h"

namespace limpet::test {
namespace {

class BinderTest : public ContainerTest {};

TEST_F(BinderTest, EmptyListAddsACentralHeaderAndATail) {
  Bind(exe, {});
  EXPECT_EQ(ToHex(ReadFileBytes(exe).substr(original.size())),
            "4C 51 05 06 00 00 00 00 00 00 00 00 00 00 0E 00 00 00 4C 51 08 07");
}

TEST_F(BinderTest, BindingAgainReplacesTheEarlierBlock) {
  const std::vector<TSource> sources = {{"alpha", "a", 1, 6}, {"beta", "b", 2, 0, "pw"}};
  Bind(exe, sources);
  const std::string first = ReadFileBytes(exe);
  EXPECT_EQ(first.substr(0, original.size()), original);
  Bind(exe, sources);
  EXPECT_EQ(ReadFileBytes(exe), first);
  Bind(exe, {{"gamma", "c", 3}});
  TExtractFromEXE x;
  x.SetFileName(exe);
  x.ExtractToFileList();
  ASSERT_EQ(x.FileList().Count(), 1);
  EXPECT_EQ(ReadFileBytes(exe).substr(0, original.size()), original);
}

TEST_F(BinderTest, OffsetsFlagsAndNoPasswordInTheBlock) {
  TLimpet binder;
  binder.SetFileName(exe);
  const std::vector<std::pair<std::string, uint8_t>> files = {{"12345", 0}, {"", 0}, {"abc", 0}};
  for (size_t i = 0; i < files.size(); ++i) {
    std::string path = dir.File("f" + std::to_string(i));
    WriteFileBytes(path, files[i].first);
    auto* e = new TFileEntry();
    e->SetFileName(path);
    e->SetName("n" + std::to_string(i));
    if (i == 2) e->SetPassword("UniqueSecretPassword");
    binder.FileList().Add(e);
  }
  binder.Update();
  TFileList& list = binder.FileList();
  EXPECT_EQ(list.GetItems(0)->Offset(), 0);
  EXPECT_EQ(list.GetItems(1)->Offset(), 9 + 5);
  EXPECT_EQ(list.GetItems(2)->Offset(), 9 + 5 + 9 + 0);
  EXPECT_EQ(list.GetItems(2)->Flags(), 0x80);
  const std::string bytes = ReadFileBytes(exe);
  EXPECT_EQ(bytes.find("UniqueSecretPassword"), std::string::npos);
  // Stored size of the encrypted entry includes the 4-byte check value.
  const size_t header = original.size() + 9 + 5 + 9;
  EXPECT_EQ(static_cast<uint8_t>(bytes[header + 1]), 3 + 4);
}

TEST_F(BinderTest, ErrorsBeforeWritingLeaveTheFileAlone) {
  Bind(exe, {{"kept", "k", 1}});
  const std::string before = ReadFileBytes(exe);
  struct TCase {
    const char* what;
    std::function<void(TLimpet&)> setup;
  };
  const TCase cases[] = {
      {"missing source",
       [&](TLimpet& b) {
         auto* e = new TFileEntry();
         e->SetFileName(dir.File("missing"));
         b.FileList().Add(e);
       }},
      {"level out of range",
       [&](TLimpet& b) {
         WriteFileBytes(dir.File("ok"), "x");
         auto* e = new TFileEntry();
         e->SetFileName(dir.File("ok"));
         e->SetCompressionLevel(10);
         b.FileList().Add(e);
       }},
      {"too many entries",
       [&](TLimpet& b) {
         for (int i = 0; i < 65536; ++i) {
           auto* e = new TFileEntry();
           e->SetFileName(dir.File("missing"));
           b.FileList().Add(e);
         }
       }},
      {"name too long",
       [&](TLimpet& b) {
         auto* e = new TFileEntry();
         e->SetFileName(dir.File("missing"));
         e->SetName(std::string(65536, 'n'));
         b.FileList().Add(e);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TLimpet binder;
    binder.SetFileName(exe);
    c.setup(binder);
    EXPECT_THROW(binder.Update(), Exception);
    EXPECT_EQ(ReadFileBytes(exe), before);
  }
  TLimpet binder;
  binder.SetFileName(dir.File("absent.exe"));
  try {
    binder.Update();
    ADD_FAILURE() << "no error";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file " + dir.File("absent.exe"));
  }
}

TEST_F(BinderTest, RefusesATailWhoseBlockExceedsTheFile) {
  std::string bytes = original + layout::MakeTail(1000);
  WriteFileBytes(exe, bytes);
  TLimpet binder;
  binder.SetFileName(exe);
  EXPECT_THROW(binder.Update(), ELQException);
  EXPECT_EQ(ReadFileBytes(exe), bytes);
}

// Runs `body` in a child process whose files may not grow beyond `limit`
// bytes; returns the child's exit status.
template <class Body>
int InChildWithFileSizeLimit(rlim_t limit, Body body) {
  pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit rl {limit, limit};
    setrlimit(RLIMIT_FSIZE, &rl);
    _exit(body());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

TEST_F(BinderTest, AFailedWritePutsTheFileBackExactly) {
  Bind(exe, {{TextBytes(20000, 5), "earlier", 1, 6}, {"x", "y", 2}});
  const std::string before = ReadFileBytes(exe);
  const std::string big = RandomBytes(200000, 6);
  WriteFileBytes(dir.File("big"), big);
  const rlim_t limit = before.size() + 50000;  // the new block does not fit
  int status = InChildWithFileSizeLimit(limit, [&] {
    TLimpet binder;
    binder.SetFileName(exe);
    auto* e = new TFileEntry();
    e->SetFileName(dir.File("big"));
    binder.FileList().Add(e);
    try {
      binder.Update();
      return 1;
    } catch (const EWriteError& e) {
      return e.Message() == "Stream write error" ? 0 : 2;
    } catch (...) {
      return 3;
    }
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadFileBytes(exe), before);
}

// A destination stream that, on its first write, tells the parent through
// one pipe and waits for the go-ahead on another.
class TBlockingStream : public TMemoryStream {
 public:
  TBlockingStream(int ready, int go) : FReady(ready), FGo(go) {}
  int32_t Write(const void* buffer, int32_t count) override {
    if (!FSignalled) {
      FSignalled = true;
      char c = 'r';
      if (::write(FReady, &c, 1) != 1) _exit(5);
      if (::read(FGo, &c, 1) != 1) _exit(6);
    }
    return TMemoryStream::Write(buffer, count);
  }

 private:
  int FReady, FGo;
  bool FSignalled = false;
};

TEST_F(BinderTest, BinderCannotOpenWhileAnotherProcessExtracts) {
  Bind(exe, {{"data", "d", 1}});
  int ready[2], go[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(go), 0);
  pid_t pid = fork();
  if (pid == 0) {
    TExtractFromEXE x;
    x.SetFileName(exe);
    TBlockingStream s(ready[1], go[0]);
    try {
      x.ExtractStreamFromEXE(s);  // holds the file while it waits
    } catch (...) {
      _exit(1);
    }
    _exit(0);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  TLimpet binder;
  binder.SetFileName(exe);
  EXPECT_THROW(binder.Update(), EFOpenError);
  // Another reader is welcome meanwhile.
  TExtractFromEXE reader;
  reader.SetFileName(exe);
  EXPECT_NO_THROW(reader.ExtractToFileList());
  ASSERT_EQ(write(go[1], "g", 1), 1);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_NO_THROW(binder.Update());
  for (int fd : {ready[0], ready[1], go[0], go[1]}) close(fd);
}

TEST_F(BinderTest, ExtractorCannotOpenWhileAnotherProcessBinds) {
  // The binder's source is a named pipe: opening it blocks the binding
  // child, with the executable held, until this process opens the pipe.
  const std::string fifo = dir.File("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  pid_t pid = fork();
  if (pid == 0) {
    TLimpet binder;
    binder.SetFileName(exe);
    auto* e = new TFileEntry();
    e->SetFileName(fifo);
    e->SetName("from-pipe");
    binder.FileList().Add(e);
    try {
      binder.Update();
    } catch (...) {
      _exit(1);
    }
    _exit(0);
  }
  // Wait until the child holds the executable.
  bool held = false;
  for (int i = 0; i < 500 && !held; ++i) {
    int fd = open(exe.c_str(), O_RDONLY);
    held = flock(fd, LOCK_SH | LOCK_NB) != 0;
    close(fd);
    if (!held) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(held);
  TExtractFromEXE x;
  x.SetFileName(exe);
  EXPECT_THROW(x.ExtractToFileList(), EFOpenError);
  int fd = open(fifo.c_str(), O_WRONLY);  // lets the child go on
  close(fd);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  x.ExtractToFileList();
  ASSERT_EQ(x.FileList().Count(), 1);
  EXPECT_EQ(x.FileList().GetItems(0)->Name(), "from-pipe");
}

#ifdef LIMPET_SELFEXTRACT_PATH
// Binds files to a copy of a real program built by the project and lets
// that program restore them from its own executable.
TEST_F(BinderTest, ARealProgramRestoresItsOwnFiles) {
  const std::string program = dir.File("selfextract");
  std::filesystem::copy_file(LIMPET_SELFEXTRACT_PATH, program);
  const std::string programBytes = ReadFileBytes(program);
  const std::vector<TSource> sources = {
      {TextBytes(100000, 7), "text.txt", 1, 9, "KelpForest"},
      {RandomBytes(70000, 8), "random.bin", 2, 0, "KelpForest"},
      {"", "empty", 3, 6, "KelpForest"},
      {TextBytes(65536, 9), "exact-block", 4, 1, "KelpForest"},
  };
  Bind(program, sources);
  const std::string out = dir.File("out");
  std::filesystem::create_directory(out);
  std::string command = program + " " + out + " KelpForest > " + dir.File("listing") + " 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << ReadFileBytes(dir.File("listing"));
  for (size_t i = 0; i < sources.size(); ++i) {
    SCOPED_TRACE(sources[i].name);
    EXPECT_EQ(ReadFileBytes(out + "/" + std::to_string(i) + ".byname"), sources[i].content);
    EXPECT_EQ(ReadFileBytes(out + "/" + std::to_string(i) + ".byid"), sources[i].content);
  }
  const std::string listing = ReadFileBytes(dir.File("listing"));
  EXPECT_NE(listing.find("0 1 text.txt\n"), std::string::npos) << listing;
  EXPECT_NE(listing.find("from " + program), std::string::npos) << listing;
  // The program's own bytes are untouched, and a wrong password is refused.
  EXPECT_EQ(ReadFileBytes(program).substr(0, programBytes.size()), programBytes);
  command = program + " " + out + " wrong > " + dir.File("listing") + " 2>&1";
  EXPECT_NE(std::system(command.c_str()), 0);
  EXPECT_EQ(ReadFileBytes(dir.File("listing")), "Incorrect password for the file entry.\n");
}
#endif

}  // namespace
}  // namespace limpet::test

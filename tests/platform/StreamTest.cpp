#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "LQOS.h"
#include "LQStreams.h"
#include "LQUtils.h"
#include "TestSupport.h"

namespace limpet {
namespace {

using test::ReadFileBytes;
using test::TLimitedStream;
using test::TTempDir;
using test::WriteFileBytes;

std::string Content(TMemoryStream& s) { return s.DataString(); }

TEST(MemoryStream, ReadWriteSeekAndSize) {
  TMemoryStream s;
  EXPECT_EQ(s.Write("hello", 5), 5);
  EXPECT_EQ(s.Position(), 5);
  EXPECT_EQ(s.Size(), 5);
  s.SetPosition(1);
  char buf[8] = {};
  EXPECT_EQ(s.Read(buf, 8), 4);
  EXPECT_STREQ(buf, "ello");
  EXPECT_EQ(s.Read(buf, 8), 0);
  EXPECT_EQ(s.Seek(-2, soFromEnd), 3);
  EXPECT_EQ(s.Seek(-10, soFromCurrent), -1);
  EXPECT_EQ(s.Position(), 3);
  // Writing past the end fills the gap with zeros.
  s.SetPosition(7);
  s.Write("!", 1);
  EXPECT_EQ(Content(s), std::string("hello\0\0!", 8));
  // Shrinking moves a position beyond the new end to the end; 0 empties.
  s.SetSize(2);
  EXPECT_EQ(s.Position(), 2);
  s.SetPosition(1);
  s.SetSize(0);
  EXPECT_EQ(s.Position(), 0);
  EXPECT_EQ(s.Size(), 0);
}

TEST(MemoryStream, ReadBufferAndWriteBufferRaiseOnShortTransfers) {
  TMemoryStream s;
  s.WriteBuffer("abc", 3);
  s.SetPosition(0);
  char buf[4];
  EXPECT_THROW(s.ReadBuffer(buf, 4), EReadError);
  try {
    s.SetPosition(0);
    s.ReadBuffer(buf, 4);
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "Stream read error");
  }
}

TEST(Stream, WriteBufferRaisesWriteError) {
  TLimitedStream s(4);
  try {
    s.WriteBuffer("abcdef", 6);
    FAIL() << "no error";
  } catch (const EWriteError& e) {
    EXPECT_EQ(e.Message(), "Stream write error");
  }
}

TEST(Stream, CopyFromCountZeroRewindsAndCopiesAll) {
  TMemoryStream src;
  src.WriteBuffer("0123456789", 10);
  src.SetPosition(6);
  TMemoryStream dst;
  EXPECT_EQ(dst.CopyFrom(src, 0), 10);
  EXPECT_EQ(Content(dst), "0123456789");
  src.SetPosition(2);
  TMemoryStream part;
  EXPECT_EQ(part.CopyFrom(src, 3), 3);
  EXPECT_EQ(Content(part), "234");
  EXPECT_EQ(src.Position(), 5);
  EXPECT_THROW(part.CopyFrom(src, 6), EReadError);
}

// A memory stream of a derived class: CopyFrom must go through its Write.
class TCountingStream : public TMemoryStream {
 public:
  int32_t Write(const void* buffer, int32_t count) override {
    ++Writes;
    return TMemoryStream::Write(buffer, count);
  }
  int Writes = 0;
};

TEST(Stream, CopyFromAFileIntoMemoryStreams) {
  TTempDir dir;
  std::string data = test::RandomBytes(3 * 1024 * 1024 + 17, 5);
  WriteFileBytes(dir.File("f"), data);
  TFileStream file(dir.File("f"), fmOpenRead | fmShareDenyWrite);
  // A plain memory stream takes the bytes straight into its memory, also
  // behind a gap, which reads as zeros.
  TMemoryStream plain;
  plain.WriteBuffer("ab", 2);
  plain.SetPosition(4);
  file.SetPosition(0);
  EXPECT_EQ(plain.CopyFrom(file, 0), static_cast<int64_t>(data.size()));
  EXPECT_EQ(Content(plain), std::string("ab\0\0", 4) + data);
  EXPECT_EQ(plain.Position(), plain.Size());
  // A derived stream is written through its own Write, block by block.
  TCountingStream derived;
  file.SetPosition(1);
  EXPECT_EQ(derived.CopyFrom(file, 2 * 1024 * 1024), 2 * 1024 * 1024);
  EXPECT_EQ(Content(derived), data.substr(1, 2 * 1024 * 1024));
  EXPECT_EQ(derived.Writes, 2);
  // Asking for more than the source holds is a read error in both paths.
  file.SetPosition(static_cast<int64_t>(data.size()) - 3);
  EXPECT_THROW(plain.CopyFrom(file, 10), EReadError);
  file.SetPosition(static_cast<int64_t>(data.size()) - 3);
  EXPECT_THROW(derived.CopyFrom(file, 10), EReadError);
}

TEST(CopyStream, ReplacesContentAndRewinds) {
  TMemoryStream src, dst;
  src.WriteBuffer("new", 3);
  dst.WriteBuffer("old content", 11);
  CopyStream(src, dst);
  EXPECT_EQ(Content(dst), "new");
  EXPECT_EQ(dst.Position(), 0);
}

TEST(MemoryStream, LoadAndSaveFiles) {
  TTempDir dir;
  WriteFileBytes(dir.File("in"), std::string("a\0b", 3));
  TMemoryStream s;
  s.LoadFromFile(dir.File("in"));
  EXPECT_EQ(Content(s), std::string("a\0b", 3));
  EXPECT_EQ(s.Position(), 0);
  s.SaveToFile(dir.File("out"));
  EXPECT_EQ(ReadFileBytes(dir.File("out")), std::string("a\0b", 3));
  try {
    s.LoadFromFile(dir.File("missing"));
    FAIL() << "no error";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file " + dir.File("missing"));
  }
}

TEST(FileStream, OpenErrorsCarryThePath) {
  TTempDir dir;
  struct TCase {
    std::string path;
    uint16_t mode;
    bool create;
  };
  const TCase cases[] = {
      {dir.File("missing"), fmOpenRead, false},
      {"", fmOpenReadWrite, false},
      {dir.Path(), fmOpenRead, false},  // a directory is not a file
      {dir.File("no/such/dir/x"), fmCreate, true},
  };
  for (const auto& c : cases) {
    try {
      TFileStream f(c.path, c.mode);
      ADD_FAILURE() << "opened " << c.path;
    } catch (const EFCreateError& e) {
      EXPECT_TRUE(c.create);
      EXPECT_EQ(e.Message(), "Cannot create file " + c.path);
    } catch (const EFOpenError& e) {
      EXPECT_FALSE(c.create);
      EXPECT_EQ(e.Message(), "Cannot open file " + c.path);
    }
  }
}

TEST(FileStream, CreateEmptiesReadWriteSizes) {
  TTempDir dir;
  WriteFileBytes(dir.File("f"), "previous content");
  {
    TFileStream f(dir.File("f"), fmCreate);
    EXPECT_EQ(f.Size(), 0);
    f.WriteBuffer("abcdef", 6);
    f.SetSize(4);
    EXPECT_EQ(f.Position(), 4);
    f.SetPosition(0);
    char buf[8] = {};
    EXPECT_EQ(f.Read(buf, 8), 4);
  }
  EXPECT_EQ(ReadFileBytes(dir.File("f")), "abcd");
}

// Tries to open `path` with `mode` in a child process; returns true when the
// child could open it.
bool ChildCanOpen(const std::string& path, uint16_t mode) {
  pid_t pid = fork();
  if (pid == 0) {
    try {
      TFileStream f(path, mode);
      _exit(0);
    } catch (...) {
      _exit(1);
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(FileStream, SharingModesBetweenProcesses) {
  TTempDir dir;
  std::string path = dir.File("shared");
  WriteFileBytes(path, "x");
  {
    TFileStream reader(path, fmOpenRead | fmShareDenyWrite);
    EXPECT_TRUE(ChildCanOpen(path, fmOpenRead | fmShareDenyWrite));
    EXPECT_FALSE(ChildCanOpen(path, fmOpenReadWrite | fmShareExclusive));
    EXPECT_TRUE(ChildCanOpen(path, fmOpenRead | fmShareDenyNone));
  }
  {
    TFileStream writer(path, fmOpenReadWrite | fmShareExclusive);
    EXPECT_FALSE(ChildCanOpen(path, fmOpenRead | fmShareDenyWrite));
    EXPECT_FALSE(ChildCanOpen(path, fmCreate));
  }
  EXPECT_TRUE(ChildCanOpen(path, fmOpenReadWrite | fmShareExclusive));
  // A refused create must not have emptied the file.
  EXPECT_EQ(ReadFileBytes(path), "x");
}

TEST(OS, ExecutablePathAndSameFile) {
  std::string exe = os::ExecutablePath();
  ASSERT_FALSE(exe.empty());
  EXPECT_EQ(exe[0], '/');
  TTempDir dir;
  WriteFileBytes(dir.File("a"), "1");
  WriteFileBytes(dir.File("A"), "2");
  EXPECT_TRUE(os::SameFile(dir.File("a"), dir.Path() + "/./a"));
  EXPECT_FALSE(os::SameFile(dir.File("a"), dir.File("A")));
  EXPECT_FALSE(os::SameFile(dir.File("a"), dir.File("new")));
  EXPECT_TRUE(os::SameFile(dir.File("new"), dir.File("new")));
  EXPECT_GT(os::ProcessorFamily(), 3);
  EXPECT_LT(os::UtcMillisecondsOfDay(), 86400000u);
}

}  // namespace
}  // namespace limpet

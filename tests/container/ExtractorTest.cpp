#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <memory>

#include "BoundLayout.h"
#include "ContainerFixture.h"
#include "LQExcept.h"
#include "LQOS.h"
#include "LQStreams.h"
#include "Limpet.h"

namespace limpet::test {
namespace {

std::string Restore(TExtractFromEXE& x, const std::string& name, const std::string& password) {
  TMemoryStream s;
  s.WriteBuffer("stale content that must go", 26);
  x.ExtractToStream(name, s, password);
  EXPECT_EQ(s.Position(), 0);
  return s.DataString();
}

class ExtractorTest : public ContainerTest {};

TEST_F(ExtractorTest, RestoresEveryKindOfEntryByNameAndByIdentifier) {
  const std::string big = TextBytes(300000, 1) + RandomBytes(70000, 2);
  const std::vector<TSource> sources = {
      {"plain bytes", "stored", 1},
      {big, "compressed", 2, 6},
      {big, "encrypted", 3, 0, "KelpForest"},
      {big, "both", 4, 9, "KelpForest"},
      {"", "empty", 5},
      {"", "empty-both", 6, 1, "KelpForest"},
      {std::string("\0\x01\xFF", 3), "binary", 7, 0, "pw"},
  };
  Bind(exe, sources);
  TExtractFromEXE x;
  x.SetFileName(exe);
  for (const auto& s : sources) {
    SCOPED_TRACE(s.name);
    EXPECT_EQ(Restore(x, s.name, s.password), s.content);
    TMemoryStream byId;
    byId.WriteBuffer("old", 3);
    x.ExtractToStream(s.id, byId, s.password);
    EXPECT_EQ(byId.DataString(), s.content);
    EXPECT_EQ(byId.Position(), 0);
  }
  // A password passed for an entry that is not encrypted is ignored.
  EXPECT_EQ(Restore(x, "compressed", "whatever"), big);
}

TEST_F(ExtractorTest, ListsTheDirectory) {
  Bind(exe, {{"a", "first", 10, 6, "secret"}, {"b", "", 11}});
  TExtractFromEXE x;
  x.SetFileName(exe);
  x.ExtractToFileList();
  ASSERT_EQ(x.FileList().Count(), 2);
  const TFileEntry& e0 = *x.FileList().GetItems(0);
  EXPECT_EQ(e0.Name(), "first");
  EXPECT_EQ(e0.ID(), 10);
  EXPECT_EQ(e0.CompressionLevel(), 6);
  EXPECT_TRUE(e0.Encrypted());
  EXPECT_EQ(e0.Password(), "ENTRYPTED");
  EXPECT_EQ(e0.FileName(), "");
  EXPECT_EQ(e0.Offset(), 0);
  // An entry bound without a stored name is found by its source path.
  const TFileEntry& e1 = *x.FileList().GetItems(1);
  EXPECT_EQ(e1.Name(), dir.File("source1"));
  EXPECT_FALSE(e1.Encrypted());
  EXPECT_EQ(Restore(x, dir.File("source1"), ""), "b");
}

TEST_F(ExtractorTest, FirstOfDuplicateNamesAndIdentifiersWins) {
  Bind(exe, {{"one", "same", 5}, {"two", "same", 5}, {"three", "other", 6}});
  TExtractFromEXE x;
  x.SetFileName(exe);
  EXPECT_EQ(Restore(x, "same", ""), "one");
  TMemoryStream s;
  x.ExtractToStream(5, s, "");
  EXPECT_EQ(s.DataString(), "one");
}

TEST_F(ExtractorTest, BlockCopyEndsAtTheBlockEnd) {
  Bind(exe, {{"abc", "a.txt", 7}});
  TExtractFromEXE x;
  x.SetFileName(exe);
  TMemoryStream block;
  block.WriteBuffer("previous", 8);
  x.ExtractStreamFromEXE(block);
  EXPECT_EQ(ToHex(block.DataString()),
            "00 03 00 00 00 03 00 00 00 61 62 63 00 00 00 00 "
            "00 07 00 00 00 05 00 61 2E 74 78 74 4C 51 05 06 "
            "01 00 10 00 00 00 0C 00 00 00");
  EXPECT_EQ(block.Position(), 42);
}

TEST_F(ExtractorTest, FilesWithoutABlockAndMissingEntries) {
  const std::string kExe = "Invalid signature in EXE file, cannot extract files from it!";
  TExtractFromEXE x;
  x.SetFileName(exe);  // never bound
  ExpectError<ELQInvalidEXESignature>([&] { x.ExtractToFileList(); }, kExe);
  WriteFileBytes(exe, std::string("\x0E\0\0\0LQ\x08\x07", 8));  // 8 bytes: too short even with the magic
  ExpectError<ELQInvalidEXESignature>([&] { x.ExtractToFileList(); }, kExe);
  x.SetFileName(dir.File("missing"));
  ExpectError<EFOpenError>([&] { x.ExtractToFileList(); }, "Cannot open file " + dir.File("missing"));

  WriteFileBytes(exe, original);
  Bind(exe, {});
  x.SetFileName(exe);
  x.ExtractToFileList();
  EXPECT_EQ(x.FileList().Count(), 0);
  TMemoryStream s;
  ExpectError<ELQFileEntryNotFound>([&] { x.ExtractToStream("x", s, ""); },
                                    "Cannot find the file entry with the specified name.");
  ExpectError<ELQFileEntryNotFound>([&] { x.ExtractToStream(-1, s, ""); },
                                    "Cannot find the file entry with the specified ID.");
}

TEST_F(ExtractorTest, CentralHeaderErrorKeepsTheOldList) {
  Bind(exe, {{"a", "kept", 1}});
  TExtractFromEXE x;
  x.SetFileName(exe);
  x.ExtractToFileList();
  std::string bytes = ReadFileBytes(exe);
  bytes[bytes.size() - 8 - 14] = 'X';
  WriteFileBytes(exe, bytes);
  ExpectError<ELQInvalidCentralInfo>([&] { x.ExtractToFileList(); },
                                     "Invalid signature in central header information.");
  ASSERT_EQ(x.FileList().Count(), 1);
  EXPECT_EQ(x.FileList().GetItems(0)->Name(), "kept");
}

TEST_F(ExtractorTest, PasswordsOnEncryptedEntries) {
  const std::string text = TextBytes(5000, 3);
  Bind(exe, {{text, "stored", 1, 0, "right"}, {text, "packed", 2, 6, "right"}});
  TExtractFromEXE x;
  x.SetFileName(exe);
  TMemoryStream s;
  ExpectError<ELQIncorrectPassword>([&] { x.ExtractToStream("stored", s, "wrong"); },
                                    "Incorrect password for the file entry.");
  // An empty password skips decryption: the payload with its check value.
  x.ExtractToStream("stored", s, "");
  EXPECT_EQ(s.Size(), static_cast<int64_t>(text.size()) + 4);
  EXPECT_NE(s.DataString().substr(0, text.size()), text);
  EXPECT_THROW(x.ExtractToStream("packed", s, ""), ELQDecompressError);
}

TEST_F(ExtractorTest, ExtractToFileWritesOnlyOnSuccess) {
  Bind(exe, {{"content", "a", 1, 6, "pw"}, {"", "empty", 2}});
  TExtractFromEXE x;
  x.SetFileName(exe);
  const std::string out = dir.File("out.bin");
  EXPECT_THROW(x.ExtractToFile("a", out, "bad"), ELQIncorrectPassword);
  EXPECT_FALSE(FileExists(out));
  EXPECT_THROW(x.ExtractToFile("nope", out, ""), ELQFileEntryNotFound);
  EXPECT_FALSE(FileExists(out));
  WriteFileBytes(out, "untouched");
  EXPECT_THROW(x.ExtractToFile(99, out, ""), ELQFileEntryNotFound);
  EXPECT_EQ(ReadFileBytes(out), "untouched");
  x.ExtractToFile("a", out, "pw");
  EXPECT_EQ(ReadFileBytes(out), "content");
  x.ExtractToFile(2, out, "");
  EXPECT_EQ(ReadFileBytes(out), "");
  const std::string bad = dir.File("no/such/dir/out");
  ExpectError<EFCreateError>([&] { x.ExtractToFile("a", bad, "pw"); }, "Cannot create file " + bad);
}

TEST_F(ExtractorTest, DefaultFileIsTheRunningProgram) {
  TExtractFromEXE x;
  EXPECT_EQ(x.FileName(), "");
  // The test program carries no bound block.
  EXPECT_THROW(x.ExtractToFileList(), ELQInvalidEXESignature);
  EXPECT_EQ(x.FileName(), os::ExecutablePath());
}

TEST_F(ExtractorTest, ForgedPlainSizeIsRefusedBeforeAllocating) {
  Bind(exe, {{TextBytes(1000, 4), "packed", 1, 6}});
  std::string bytes = ReadFileBytes(exe);
  // The entry header follows the original bytes; plain size at offset 5.
  const size_t plainAt = original.size() + 5;
  for (int i = 0; i < 4; ++i) bytes[plainAt + i] = static_cast<char>(i == 3 ? 0x70 : 0);
  WriteFileBytes(exe, bytes);
  TExtractFromEXE x;
  x.SetFileName(exe);
  TMemoryStream s;
  ExpectError<ELQInvalidCentralInfo>([&] { x.ExtractToStream("packed", s, ""); },
                                     "Invalid file entry: its plain size cannot come from its stored data.");
}

long PeakRssKiB() {
  struct rusage ru {};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

TEST_F(ExtractorTest, RestoringOneSmallEntryReadsOnlyWhatItNeeds) {
  // A file whose first entry claims 1 GiB of payload (a hole in a sparse
  // file) and whose second entry is small: restoring or listing must not
  // read or allocate the big one.
  const int64_t bigSize = int64_t{1} << 30;
  TFileList list;
  auto* big = new TFileEntry();
  big->SetName("big");
  list.Add(big);
  auto* small = new TFileEntry();
  small->SetName("small");
  list.Add(small);
  big->SetOffset(0);
  small->SetOffset(static_cast<int32_t>(9 + bigSize));
  std::string head;
  head += '\0';
  for (int i = 0; i < 4; ++i) head += static_cast<char>((bigSize >> (8 * i)) & 0xFF);
  head += head.substr(1, 4);
  std::string smallRecord = std::string("\0\x03\0\0\0\x03\0\0\0xyz", 12);
  // The directory and central header come from the layout module; only the
  // directory offset needs patching, as the scratch stream starts at 0.
  std::string dirBytes;
  {
    TMemoryStream scratch;
    layout::TBlockWriter writer(scratch);
    writer.Finish(list);
    dirBytes = scratch.DataString();
    const uint32_t dirOffset = static_cast<uint32_t>(9 + bigSize + 12);
    for (int i = 0; i < 4; ++i) dirBytes[dirBytes.size() - 4 + i] = static_cast<char>((dirOffset >> (8 * i)) & 0xFF);
  }
  const int64_t blockSize = 9 + bigSize + 12 + static_cast<int64_t>(dirBytes.size());
  {
    TFileStream f(exe, fmCreate);
    f.WriteBuffer(original.data(), static_cast<int64_t>(original.size()));
    f.WriteBuffer(head.data(), 9);
    f.SetSize(static_cast<int64_t>(original.size()) + 9 + bigSize);  // a hole
    f.Seek(0, soFromEnd);
    f.WriteBuffer(smallRecord.data(), 12);
    f.WriteBuffer(dirBytes.data(), static_cast<int64_t>(dirBytes.size()));
    std::string tail = layout::MakeTail(blockSize);
    f.WriteBuffer(tail.data(), 8);
  }
  const long before = PeakRssKiB();
  TExtractFromEXE x;
  x.SetFileName(exe);
  x.ExtractToFileList();
  ASSERT_EQ(x.FileList().Count(), 2);
  EXPECT_EQ(Restore(x, "small", ""), "xyz");
  EXPECT_LT(PeakRssKiB() - before, 64 * 1024) << "peak memory grew by more than 64 MiB";
}

}  // namespace
}  // namespace limpet::test

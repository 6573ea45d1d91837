// The public reader of bound blocks, stripping, restoring by directory
// position and the binder's byte progress.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "ContainerFixture.h"
#include "LQBoundInfo.h"
#include "LQExcept.h"
#include "LQStreams.h"
#include "Limpet.h"

namespace limpet::test {
namespace {

class BoundInfoTest : public ContainerTest {
 protected:
  // Overwrites bytes of the bound file at `position` counted from the
  // block's first byte.
  void Patch(int64_t position, const std::string& bytes) {
    std::string data = ReadFileBytes(exe);
    data.replace(original.size() + static_cast<size_t>(position), bytes.size(), bytes);
    WriteFileBytes(exe, data);
  }
};

TEST_F(BoundInfoTest, ReportsTheBlockAndEveryEntryHeader) {
  const std::string text = TextBytes(5000, 3);
  Bind(exe, {{"alpha", "a.txt", 7, 0},
             {"beta", "b.bin", 8, 0, "pw"},
             {text, "dir/c.txt", -1, 9, "pw"},
             {"", "", 0, 0}});
  const int64_t fileSize = static_cast<int64_t>(ReadFileBytes(exe).size());

  const TBoundInfo info = ReadBoundInfo(exe);
  EXPECT_EQ(info.FileSize, fileSize);
  EXPECT_EQ(info.Block.Start, static_cast<int64_t>(original.size()));
  EXPECT_EQ(info.Block.Size, fileSize - 8 - info.Block.Start);
  ASSERT_EQ(info.Entries.size(), 4u);

  const TBoundEntryInfo& a = info.Entries[0];
  EXPECT_EQ(a.Index, 0);
  EXPECT_EQ(a.Name, "a.txt");
  EXPECT_EQ(a.ID, 7);
  EXPECT_EQ(a.Flags, 0);
  EXPECT_FALSE(a.Encrypted);
  EXPECT_EQ(a.Offset, 0);
  EXPECT_EQ(a.StoredSize, 5);
  EXPECT_EQ(a.PlainSize, 5);
  EXPECT_EQ(a.HeaderError, "");

  // Encrypted entries store the 4-byte password check value as well.
  const TBoundEntryInfo& b = info.Entries[1];
  EXPECT_EQ(b.Flags, 0x80);
  EXPECT_TRUE(b.Encrypted);
  EXPECT_EQ(b.Offset, 9 + 5);
  EXPECT_EQ(b.StoredSize, 4 + 4);
  EXPECT_EQ(b.PlainSize, 4);

  const TBoundEntryInfo& c = info.Entries[2];
  EXPECT_EQ(c.Name, "dir/c.txt");
  EXPECT_EQ(c.Flags, 0x89);
  EXPECT_EQ(c.CompressionLevel, 9);
  EXPECT_TRUE(c.Encrypted);
  EXPECT_EQ(c.Offset, 9 + 5 + 9 + 8);
  EXPECT_EQ(c.PlainSize, 5000);
  EXPECT_GT(c.StoredSize, 4);
  EXPECT_LT(c.StoredSize, 5000);

  // No stored name: recorded under the source path.
  const TBoundEntryInfo& d = info.Entries[3];
  EXPECT_EQ(d.Index, 3);
  EXPECT_EQ(d.Name.substr(0, dir.Path().size()), dir.Path());
  EXPECT_EQ(d.StoredSize, 0);
  EXPECT_EQ(d.PlainSize, 0);
  EXPECT_EQ(d.Offset, c.Offset + 9 + c.StoredSize);
}

TEST_F(BoundInfoTest, EmptyBindingHasOnlyTheCentralHeader) {
  Bind(exe, {});
  const TBoundInfo info = ReadBoundInfo(exe);
  EXPECT_EQ(info.Block.Start, static_cast<int64_t>(original.size()));
  EXPECT_EQ(info.Block.Size, 14);
  EXPECT_TRUE(info.Entries.empty());
}

TEST_F(BoundInfoTest, DamagedEntryHeaderIsReportedOnThatEntryOnly) {
  Bind(exe, {{"alpha", "a", 1, 0}, {"beta", "b", 2, 0}});
  // The second entry's stored size now runs past the block.
  Patch(9 + 5 + 1, FromHex("FF FF 00 00"));
  const TBoundInfo info = ReadBoundInfo(exe);
  ASSERT_EQ(info.Entries.size(), 2u);
  EXPECT_EQ(info.Entries[0].HeaderError, "");
  EXPECT_EQ(info.Entries[0].StoredSize, 5);
  EXPECT_EQ(info.Entries[1].HeaderError, "Invalid file entry: its stored data runs past the bound block.");
  EXPECT_EQ(info.Entries[1].StoredSize, -1);
  EXPECT_EQ(info.Entries[1].PlainSize, -1);
}

TEST_F(BoundInfoTest, OffsetBeyondTwoGiBIsReportedUnsigned) {
  Bind(exe, {{"alpha", "a", 1, 0}});
  // Directory record of the only entry starts right after its 9 + 5 bytes.
  Patch(9 + 5, FromHex("00 00 00 90"));
  const TBoundInfo info = ReadBoundInfo(exe);
  ASSERT_EQ(info.Entries.size(), 1u);
  EXPECT_EQ(info.Entries[0].Offset, 0x90000000LL);
  EXPECT_EQ(info.Entries[0].HeaderError, "Invalid file entry: its record lies outside the bound block.");
}

TEST_F(BoundInfoTest, FilesWithoutAUsableBlockAreRefused) {
  EXPECT_THROW(
      {
        try {
          ReadBoundInfo(exe);
        } catch (const ELQInvalidEXESignature& e) {
          EXPECT_EQ(e.Message(), "Invalid signature in EXE file, cannot extract files from it!");
          throw;
        }
      },
      ELQInvalidEXESignature);
  EXPECT_THROW(ReadBoundInfo(dir.File("missing")), EFOpenError);

  Bind(exe, {{"alpha", "a", 1, 0}});
  Patch(9 + 5 + 11 + 1, "X");  // central magic
  EXPECT_THROW(ReadBoundInfo(exe), ELQInvalidCentralInfo);
}

TEST_F(BoundInfoTest, StripLeavesTheOriginalBytes) {
  for (const std::vector<TSource>& sources :
       {std::vector<TSource>{}, std::vector<TSource>{{"alpha", "a", 1, 6, "pw"}, {"beta", "b"}}}) {
    Bind(exe, sources);
    const int64_t blockSize = ReadBoundInfo(exe).Block.Size;
    const TBoundBlock removed = StripBoundData(exe);
    EXPECT_EQ(removed.Start, static_cast<int64_t>(original.size()));
    EXPECT_EQ(removed.Size, blockSize);
    EXPECT_EQ(ReadFileBytes(exe), original);
  }
}

TEST_F(BoundInfoTest, StripRefusesWhatIsNotABoundFile) {
  // Never bound.
  EXPECT_THROW(StripBoundData(exe), ELQInvalidEXESignature);
  EXPECT_EQ(ReadFileBytes(exe), original);

  // A tail whose block does not end in a central header.
  const std::string forged = original + std::string(20, 'z') + FromHex("14 00 00 00 4C 51 08 07");
  WriteFileBytes(exe, forged);
  EXPECT_THROW(StripBoundData(exe), ELQInvalidCentralInfo);
  EXPECT_EQ(ReadFileBytes(exe), forged);

  // A tail that records more bytes than there are.
  const std::string tooLong = original + FromHex("FF 00 00 00 4C 51 08 07");
  WriteFileBytes(exe, tooLong);
  EXPECT_THROW(StripBoundData(exe), ELQInvalidEXESignature);
  EXPECT_EQ(ReadFileBytes(exe), tooLong);

  EXPECT_THROW(StripBoundData(dir.File("missing")), EFOpenError);
}

TEST_F(BoundInfoTest, StripWaitsForNoReader) {
  Bind(exe, {{"alpha", "a", 1}});
  const std::string bound = ReadFileBytes(exe);
  {
    TFileStream reader(exe, fmOpenRead | fmShareDenyWrite);
    EXPECT_THROW(StripBoundData(exe), EFOpenError);
  }
  EXPECT_EQ(ReadFileBytes(exe), bound);
  StripBoundData(exe);
  EXPECT_EQ(ReadFileBytes(exe), original);
}

TEST_F(BoundInfoTest, ReaderRestoresByPositionAndReachesHiddenDuplicates) {
  Bind(exe, {{"first", "same", 5, 0}, {"second", "same", 5, 6, "pw"}, {"third", "other", 6, 0}});
  TBoundReader reader(exe);
  ASSERT_EQ(reader.Info().Entries.size(), 3u);
  TMemoryStream out;
  out.WriteBuffer("old content", 11);
  const std::pair<int32_t, const char*> expected[] = {{0, "first"}, {1, "second"}, {2, "third"}};
  for (const auto& [index, content] : expected) {
    reader.ExtractToStream(index, out, "pw");
    EXPECT_EQ(out.DataString(), content) << index;
    EXPECT_EQ(out.Position(), 0);
  }
  try {
    reader.ExtractToStream(1, out, "wrong");
    ADD_FAILURE();
  } catch (const ELQIncorrectPassword& e) {
    EXPECT_EQ(e.Message(), "Incorrect password for the file entry.");
  }
  for (int32_t bad : {-1, 3}) {
    try {
      reader.ExtractToStream(bad, out, "");
      ADD_FAILURE() << bad;
    } catch (const ELQFileEntryNotFound& e) {
      EXPECT_EQ(e.Message(), "Cannot find the file entry with the specified index.");
    }
  }
}

TEST_F(BoundInfoTest, ReaderKeepsWritersOut) {
  Bind(exe, {{"alpha", "a", 1}});
  {
    TBoundReader reader(exe);
    EXPECT_THROW(Bind(exe, {}), EFOpenError);
    EXPECT_THROW(StripBoundData(exe), EFOpenError);
  }
  StripBoundData(exe);
  EXPECT_EQ(ReadFileBytes(exe), original);
}

TEST_F(BoundInfoTest, VerifyAcceptsEverySoundKindOfEntry) {
  Bind(exe, {{"stored", "s"},
             {"", "empty"},
             {"", "empty-encrypted", -1, 0, "pw"},
             {TextBytes(200000, 4), "compressed", -1, 9},
             {RandomBytes(70000, 5), "both", -1, 1, "pw"}});
  TBoundReader reader(exe);
  for (int32_t i = 0; i < 5; ++i) EXPECT_NO_THROW(reader.Verify(i, "pw")) << i;
  // The password is not needed for entries without one.
  EXPECT_NO_THROW(reader.Verify(0, ""));
  EXPECT_NO_THROW(reader.Verify(3, ""));
  for (int32_t encrypted : {2, 4}) {
    EXPECT_THROW(reader.Verify(encrypted, "wrong"), ELQIncorrectPassword);
    EXPECT_THROW(reader.Verify(encrypted, ""), ELQIncorrectPassword);
  }
}

// Damage that restoring lets through (the plain size is taken on trust) or
// reports only as a zlib failure, and what Verify says about it.
TEST_F(BoundInfoTest, VerifyFindsDamagedEntries) {
  const std::string text = TextBytes(20000, 6);
  struct TCase {
    const char* what;
    TSource source;
    int64_t position;  // in the block
    std::string bytes;
    const char* message;
  };
  const TCase cases[] = {
      {"stored entry, plain size raised", {"12345", "e"}, 5, FromHex("06 00 00 00"),
       "Invalid file entry: its stored data do not hold its plain size."},
      {"compressed entry, plain size raised", {text, "e", -1, 6}, 5, FromHex("21 4E 00 00"),
       "Invalid file entry: its compressed data end before its plain size."},
      {"compressed entry, plain size lowered", {text, "e", -1, 6}, 5, FromHex("1F 4E 00 00"),
       "Invalid file entry: its compressed data hold more than its plain size."},
      {"compressed entry, stored size cut", {text, "e", -1, 6}, 1, FromHex("20 00 00 00"),
       "Invalid file entry: its compressed data end before its plain size."},
      {"entry header outside the block", {"12345", "e"}, 1, FromHex("FF FF 00 00"),
       "Invalid file entry: its stored data runs past the bound block."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    Bind(exe, {c.source});
    Patch(c.position, c.bytes);
    TBoundReader reader(exe);
    try {
      reader.Verify(0, "");
      ADD_FAILURE();
    } catch (const ELQException& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }

  // A flipped byte inside compressed data: zlib's own checks catch it.
  Bind(exe, {{text, "e", -1, 6}});
  Patch(9 + 100, "\x55");
  TBoundReader reader(exe);
  EXPECT_THROW(reader.Verify(0, ""), ELQDecompressError);
}

TEST_F(BoundInfoTest, BinderReportsBytesAfterEachEntry) {
  TLimpet binder;
  binder.SetFileName(exe);
  const std::vector<std::string> contents = {"12345", "", TextBytes(3000, 1)};
  for (size_t i = 0; i < contents.size(); ++i) {
    const std::string path = dir.File("p" + std::to_string(i));
    WriteFileBytes(path, contents[i]);
    auto* e = new TFileEntry();
    e->SetFileName(path);
    e->SetCompressionLevel(i == 2 ? 6 : 0);
    e->SetPassword(i == 0 ? "pw" : "");
    binder.FileList().Add(e);
  }
  std::vector<std::pair<int64_t, int64_t>> calls;
  TObject* sender = nullptr;
  binder.SetOnProgress(TByteProgressEvent([&](TObject* s, int64_t done, int64_t total) {
    sender = s;
    calls.emplace_back(done, total);
  }));
  binder.Update();
  const std::vector<std::pair<int64_t, int64_t>> expected = {
      {0, 3005}, {5, 3005}, {5, 3005}, {3005, 3005}};
  EXPECT_EQ(calls, expected);
  EXPECT_EQ(sender, &binder);
}

TEST_F(BoundInfoTest, BinderWithProgressLeavesTheFileAloneWhenASourceIsMissing) {
  TLimpet binder;
  binder.SetFileName(exe);
  auto* e = new TFileEntry();
  e->SetFileName(dir.File("missing"));
  binder.FileList().Add(e);
  int calls = 0;
  binder.SetOnProgress(TByteProgressEvent([&](TObject*, int64_t, int64_t) { ++calls; }));
  try {
    binder.Update();
    ADD_FAILURE();
  } catch (const EFOpenError& error) {
    EXPECT_EQ(error.Message(), "Cannot open file " + dir.File("missing"));
  }
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(ReadFileBytes(exe), original);
}

}  // namespace
}  // namespace limpet::test

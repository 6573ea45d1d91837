#include "BoundLayout.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "LQExcept.h"
#include "TestSupport.h"

namespace limpet {
namespace {

using test::FromHex;
using test::ToHex;

TMemoryStream* Payload(const std::string& bytes) {
  auto* s = new TMemoryStream();
  s->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  return s;
}

TFileEntry* Entry(const std::string& name, int32_t id, uint8_t level = 0, const std::string& password = "") {
  auto* e = new TFileEntry();
  e->SetName(name);
  e->SetID(id);
  e->SetCompressionLevel(level);
  e->SetPassword(password);
  return e;
}

// Lays out a block for `list` whose payloads are given, plain size = payload
// size, and returns block + tail.
std::string Bind(TFileList& list, const std::vector<std::string>& payloads) {
  TMemoryStream block;
  layout::CheckEntries(list);
  layout::TBlockWriter writer(block);
  for (int32_t i = 0; i < list.Count(); ++i) {
    std::unique_ptr<TMemoryStream> p(Payload(payloads[static_cast<size_t>(i)]));
    writer.AppendEntry(*list.GetItems(i), p->Size(), *p);
  }
  writer.Finish(list);
  return block.DataString() + layout::MakeTail(block.Size());
}

TEST(BoundLayout, WorkedExampleByteForByte) {
  TFileList list;
  list.Add(Entry("a.txt", 7));
  std::string bytes = Bind(list, {"abc"});
  EXPECT_EQ(ToHex(bytes),
            "00 03 00 00 00 03 00 00 00 61 62 63 00 00 00 00 "
            "00 07 00 00 00 05 00 61 2E 74 78 74 4C 51 05 06 "
            "01 00 10 00 00 00 0C 00 00 00 "
            "2A 00 00 00 4C 51 08 07");
  EXPECT_EQ(list.GetItems(0)->Offset(), 0);
  EXPECT_EQ(list.GetItems(0)->Flags(), 0);
}

TEST(BoundLayout, EmptyListIsACentralHeaderOnly) {
  TFileList list;
  EXPECT_EQ(ToHex(Bind(list, {})), "4C 51 05 06 00 00 00 00 00 00 00 00 00 00 0E 00 00 00 4C 51 08 07");
}

TEST(BoundLayout, RoundTripThroughAFileWithEarlierContent) {
  TFileList list;
  list.Add(Entry("first", 1, 6, "pw"));
  auto* unnamed = Entry("", 2);
  unnamed->SetFileName("dir/sub/source.bin");
  list.Add(unnamed);
  list.Add(Entry("empty", -1));
  list.Add(Entry("first", 4, 9));
  std::string bound = Bind(list, {"xxxxyyyy", "source", "", "zz"});
  // Offsets follow one another with no gaps.
  EXPECT_EQ(list.GetItems(1)->Offset(), 9 + 8);
  EXPECT_EQ(list.GetItems(2)->Offset(), 9 + 8 + 9 + 6);
  EXPECT_EQ(list.GetItems(3)->Offset(), 9 + 8 + 9 + 6 + 9);
  EXPECT_EQ(list.GetItems(0)->Flags(), 0x86);

  // Whatever comes before the block, an earlier tail included, is ignored.
  TMemoryStream file;
  std::string earlier = "MZ program bytes" + layout::MakeTail(3);
  file.WriteBuffer(earlier.data(), static_cast<int64_t>(earlier.size()));
  file.WriteBuffer(bound.data(), static_cast<int64_t>(bound.size()));

  layout::TBlockLocation loc = layout::LocateBlock(file);
  EXPECT_EQ(loc.Start, static_cast<int64_t>(earlier.size()));
  EXPECT_EQ(loc.Size, static_cast<int64_t>(bound.size()) - 8);

  TFileList read;
  layout::ReadDirectory(file, loc, read);
  ASSERT_EQ(read.Count(), 4);
  const TFileEntry& e0 = *read.GetItems(0);
  EXPECT_EQ(e0.Name(), "first");
  EXPECT_EQ(e0.ID(), 1);
  EXPECT_EQ(e0.CompressionLevel(), 6);
  EXPECT_EQ(e0.Password(), "ENTRYPTED");
  EXPECT_TRUE(e0.Encrypted());
  EXPECT_EQ(e0.FileName(), "");
  EXPECT_EQ(read.GetItems(1)->Name(), "dir/sub/source.bin");
  EXPECT_FALSE(read.GetItems(1)->Encrypted());
  EXPECT_EQ(read.GetItems(2)->ID(), -1);

  layout::TEntryHeader h = layout::ReadEntryHeader(file, loc, read.GetItems(1)->Offset());
  EXPECT_EQ(h.StoredSize, 6);
  EXPECT_EQ(h.PlainSize, 6);
  std::string payload(6, '\0');
  file.SetPosition(h.PayloadPosition);
  file.ReadBuffer(payload.data(), 6);
  EXPECT_EQ(payload, "source");
  EXPECT_EQ(layout::ReadEntryHeader(file, loc, read.GetItems(2)->Offset()).StoredSize, 0);
}

TEST(BoundLayout, RefusesWhatTheFormatCannotRecord) {
  TFileList many;
  for (int i = 0; i < 65536; ++i) many.Add(new TFileEntry());
  EXPECT_THROW(layout::CheckEntries(many), ELQException);
  many.SetCount(65535);
  EXPECT_NO_THROW(layout::CheckEntries(many));

  TFileList named;
  named.Add(Entry(std::string(65535, 'n'), 1));
  EXPECT_NO_THROW(layout::CheckEntries(named));
  auto* pathOnly = new TFileEntry();
  pathOnly->SetFileName(std::string(65536, 'p'));
  named.Add(pathOnly);
  try {
    layout::CheckEntries(named);
    FAIL() << "no error";
  } catch (const ELQException& e) {
    EXPECT_NE(e.Message().find("65536"), std::string::npos) << e.Message();
  }
}

// A valid two-entry file, then one field overwritten, must be refused with
// the expected class and message by LocateBlock, ReadDirectory or
// ReadEntryHeader.
struct THostileCase {
  const char* what;
  std::function<void(std::string&)> damage;  // applied to block + tail
  enum { kLocate, kDirectory, kEntry } stage;
  bool exeSignature;  // ELQInvalidEXESignature, else ELQInvalidCentralInfo
  const char* message;
};

void PutU32At(std::string& s, size_t pos, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[pos + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

TEST(BoundLayout, HostileLayoutsAreClearErrors) {
  TFileList list;
  list.Add(Entry("one", 1));
  list.Add(Entry("two", 2));
  const std::string good = "prefix" + Bind(list, {"11111", "222"});
  const size_t n = good.size();
  const size_t tail = n - 8, central = tail - 14;
  // Block: records at 0 (9+5) and 14 (9+3), directory at 26: records of 14 bytes each.
  const size_t blockStart = 6, dir = blockStart + 26;

  const char* kExe = "Invalid signature in EXE file, cannot extract files from it!";
  const char* kSize = "Invalid size of the bound block in EXE file, cannot extract files from it!";
  const char* kCentral = "Invalid signature in central header information.";
  const THostileCase cases[] = {
      {"short file", [](std::string& s) { s = s.substr(s.size() - 8); }, THostileCase::kLocate, true, kExe},
      {"tail magic", [&](std::string& s) { s[n - 1] = 0; }, THostileCase::kLocate, true, kExe},
      {"block size 0", [&](std::string& s) { PutU32At(s, tail, 0); }, THostileCase::kLocate, true, kSize},
      {"block size 13", [&](std::string& s) { PutU32At(s, tail, 13); }, THostileCase::kLocate, true, kSize},
      {"block beyond file", [&](std::string& s) { PutU32At(s, tail, static_cast<uint32_t>(n)); },
       THostileCase::kLocate, true, kSize},
      {"block size huge", [&](std::string& s) { PutU32At(s, tail, 0xFFFFFFFF); }, THostileCase::kLocate, true,
       kSize},
      {"central magic", [&](std::string& s) { s[central] = 'X'; }, THostileCase::kDirectory, false, kCentral},
      {"directory offset outside", [&](std::string& s) { PutU32At(s, central + 10, 0x7FFFFFF0); },
       THostileCase::kDirectory, false,
       "Invalid central header information: the directory lies outside the bound block."},
      {"count past directory", [&](std::string& s) { s[central + 4] = 3; }, THostileCase::kDirectory, false,
       "Invalid central header information: directory record 2 runs past the end of the directory."},
      {"name past directory", [&](std::string& s) { s[dir + 14 + 9] = 40; }, THostileCase::kDirectory, false,
       "Invalid central header information: directory record 1 runs past the end of the directory."},
      {"entry offset outside", [&](std::string& s) { PutU32At(s, dir, 0x1000); }, THostileCase::kEntry, false,
       "Invalid file entry: its record lies outside the bound block."},
      {"entry offset negative", [&](std::string& s) { PutU32At(s, dir, 0xFFFFFFF0); }, THostileCase::kEntry,
       false, "Invalid file entry: its record lies outside the bound block."},
      {"stored size past block", [&](std::string& s) { PutU32At(s, blockStart + 1, 0x00100000); },
       THostileCase::kEntry, false, "Invalid file entry: its stored data runs past the bound block."},
      {"plain size 4 GiB", [&](std::string& s) { PutU32At(s, blockStart + 5, 0xFFFFFFFF); },
       THostileCase::kEntry, false, "Invalid file entry: its plain size is 2 GiB or more."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = good;
    c.damage(bytes);
    TMemoryStream file;
    file.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    TFileList read;
    read.Add(Entry("old", 9));
    try {
      layout::TBlockLocation loc = layout::LocateBlock(file);
      ASSERT_NE(c.stage, THostileCase::kLocate) << "located";
      layout::ReadDirectory(file, loc, read);
      ASSERT_NE(c.stage, THostileCase::kDirectory) << "directory read";
      layout::ReadEntryHeader(file, loc, read.GetItems(0)->Offset());
      ADD_FAILURE() << "no error";
    } catch (const ELQInvalidEXESignature& e) {
      EXPECT_TRUE(c.exeSignature);
      EXPECT_EQ(e.Message(), c.message);
    } catch (const ELQInvalidCentralInfo& e) {
      EXPECT_FALSE(c.exeSignature);
      EXPECT_EQ(e.Message(), c.message);
    }
    if (c.stage != THostileCase::kEntry) {
      // A refused directory leaves the list as it was.
      ASSERT_EQ(read.Count(), 1);
      EXPECT_EQ(read.GetItems(0)->Name(), "old");
    }
  }
}

}  // namespace
}  // namespace limpet

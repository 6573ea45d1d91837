#include "BoundLayout.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "LQExcept.h"

namespace limpet::layout {

namespace {

const char* const SInvalidEXESignature = "Invalid signature in EXE file, cannot extract files from it!";
const char* const SInvalidBlockSize =
    "Invalid size of the bound block in EXE file, cannot extract files from it!";
const char* const SInvalidCentralInfo = "Invalid signature in central header information.";
const char* const SDirectoryOutside =
    "Invalid central header information: the directory lies outside the bound block.";
const char* const SDirRecordOutside =
    "Invalid central header information: directory record %d runs past the end of the directory.";
const char* const SEntryOutside = "Invalid file entry: its record lies outside the bound block.";
const char* const SPayloadOutside = "Invalid file entry: its stored data runs past the bound block.";
const char* const SPlainSizeTooLarge = "Invalid file entry: its plain size is 2 GiB or more.";
const char* const STooManyEntries = "Cannot bind %d file entries: a bound block holds at most 65535.";
const char* const SNameTooLong =
    "Cannot bind the file entry \"%s\": its recorded name is %d bytes long, at most 65535 are allowed.";
const char* const SBlockTooLarge = "Cannot bind the files: the bound block would reach 2 GiB.";

void PutU16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}

void PutU32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint32_t GetU16(const char* p) {
  return static_cast<uint32_t>(static_cast<uint8_t>(p[0])) |
         static_cast<uint32_t>(static_cast<uint8_t>(p[1])) << 8;
}

uint32_t GetU32(const char* p) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(p[i]);
  return v;
}

void ReadAt(TStream& source, int64_t position, void* buffer, int64_t count) {
  source.SetPosition(position);
  source.ReadBuffer(buffer, count);
}

// Reads a range of a stream on demand, in chunks, so that parsing reads only
// as far as the records reach.
class TRangeReader {
 public:
  TRangeReader(TStream& source, int64_t start, int64_t length)
      : FSource(source), FStart(start), FLength(length) {}

  int64_t Length() const { return FLength; }

  // Makes bytes [pos, pos + count) available and returns their address, or
  // null when they do not lie within the range.
  const char* Need(int64_t pos, int64_t count) {
    if (pos < 0 || count < 0 || pos + count > FLength) return nullptr;
    int64_t have = static_cast<int64_t>(FData.size());
    if (pos + count > have) {
      int64_t want = std::min(FLength, std::max(pos + count, have + kChunk));
      FData.resize(static_cast<size_t>(want));
      ReadAt(FSource, FStart + have, FData.data() + have, want - have);
    }
    return FData.data() + pos;
  }

 private:
  static constexpr int64_t kChunk = 64 * 1024;
  TStream& FSource;
  int64_t FStart;
  int64_t FLength;
  std::string FData;
};

}  // namespace

const std::string& RecordedName(const TFileEntry& entry) noexcept {
  return entry.Name().empty() ? entry.FileName() : entry.Name();
}

uint8_t EntryFlags(const TFileEntry& entry) noexcept {
  uint8_t flags = entry.CompressionLevel();
  if (entry.Password().empty()) {
    flags &= static_cast<uint8_t>(~kEncryptedFlag);
  } else {
    flags |= kEncryptedFlag;
  }
  return flags;
}

void CheckEntries(const TFileList& list) {
  if (list.Count() > kMaxEntries) throw ELQException(FormatMessage(STooManyEntries, {list.Count()}));
  for (int32_t i = 0; i < list.Count(); ++i) {
    const std::string& name = RecordedName(*list.GetItems(i));
    if (static_cast<int64_t>(name.size()) > kMaxNameLength) {
      throw ELQException(FormatMessage(SNameTooLong, {name.substr(0, 64), static_cast<int64_t>(name.size())}));
    }
  }
}

int64_t TBlockWriter::Length() { return FBlock.Seek(0, soFromEnd); }

void TBlockWriter::AppendEntry(TFileEntry& entry, int64_t plainSize, TStream& payload) {
  int64_t offset = Length();
  int64_t stored = payload.Size();
  if (plainSize < 0 || plainSize > kMaxBlockSize ||
      offset + kEntryHeaderSize + stored > kMaxBlockSize - kCentralHeaderSize) {
    throw ELQException(SBlockTooLarge);
  }
  entry.SetOffset(static_cast<int32_t>(offset));
  entry.SetFlags(EntryFlags(entry));
  std::string header;
  header += static_cast<char>(entry.Flags());
  PutU32(header, static_cast<uint32_t>(stored));
  PutU32(header, static_cast<uint32_t>(plainSize));
  FBlock.WriteBuffer(header.data(), kEntryHeaderSize);
  if (stored > 0) FBlock.CopyFrom(payload, 0);
}

void TBlockWriter::Finish(const TFileList& list) {
  CheckEntries(list);
  int64_t dirOffset = Length();
  std::string dir;
  for (int32_t i = 0; i < list.Count(); ++i) {
    const TFileEntry& entry = *list.GetItems(i);
    const std::string& name = RecordedName(entry);
    PutU32(dir, static_cast<uint32_t>(entry.Offset()));
    dir += static_cast<char>(entry.Flags());
    PutU32(dir, static_cast<uint32_t>(entry.ID()));
    PutU16(dir, static_cast<uint32_t>(name.size()));
    dir += name;
  }
  if (dirOffset + static_cast<int64_t>(dir.size()) + kCentralHeaderSize > kMaxBlockSize) {
    throw ELQException(SBlockTooLarge);
  }
  std::string central(kCentralMagic, 4);
  PutU16(central, static_cast<uint32_t>(list.Count()));
  PutU32(central, static_cast<uint32_t>(dir.size()));
  PutU32(central, static_cast<uint32_t>(dirOffset));
  dir += central;
  FBlock.WriteBuffer(dir.data(), static_cast<int64_t>(dir.size()));
}

std::string MakeTail(int64_t blockSize) {
  std::string tail;
  PutU32(tail, static_cast<uint32_t>(blockSize));
  tail.append(kTailMagic, 4);
  return tail;
}

TBlockLocation LocateBlock(TStream& file) {
  int64_t size = file.Size();
  if (size <= kTailSize) throw ELQInvalidEXESignature(SInvalidEXESignature);
  char tail[kTailSize];
  ReadAt(file, size - kTailSize, tail, kTailSize);
  if (std::memcmp(tail + 4, kTailMagic, 4) != 0) throw ELQInvalidEXESignature(SInvalidEXESignature);
  int64_t blockSize = GetU32(tail);
  if (blockSize < kCentralHeaderSize || blockSize > size - kTailSize || blockSize > kMaxBlockSize) {
    throw ELQInvalidEXESignature(SInvalidBlockSize);
  }
  return TBlockLocation{size - kTailSize - blockSize, blockSize};
}

void ReadDirectory(TStream& source, const TBlockLocation& block, TFileList& list) {
  const int64_t centralPos = block.Size - kCentralHeaderSize;
  char central[kCentralHeaderSize];
  ReadAt(source, block.Start + centralPos, central, kCentralHeaderSize);
  if (std::memcmp(central, kCentralMagic, 4) != 0) throw ELQInvalidCentralInfo(SInvalidCentralInfo);
  const uint32_t count = GetU16(central + 4);
  const int64_t dirOffset = GetU32(central + 10);

  std::vector<std::unique_ptr<TFileEntry>> entries;
  if (count > 0) {
    if (dirOffset > centralPos) throw ELQInvalidCentralInfo(SDirectoryOutside);
    TRangeReader dir(source, block.Start + dirOffset, centralPos - dirOffset);
    entries.reserve(count);
    int64_t pos = 0;
    for (uint32_t i = 0; i < count; ++i) {
      const char* rec = dir.Need(pos, kDirRecordFixedSize);
      if (rec == nullptr) throw ELQInvalidCentralInfo(FormatMessage(SDirRecordOutside, {i}));
      auto entry = std::make_unique<TFileEntry>();
      const uint8_t flags = static_cast<uint8_t>(rec[4]);
      entry->SetOffset(static_cast<int32_t>(GetU32(rec)));
      entry->SetFlags(flags);
      entry->SetCompressionLevel(flags & kLevelMask);
      if ((flags & kEncryptedFlag) != 0) entry->SetPassword(TFileEntry::EncryptedMarker);
      entry->SetID(static_cast<int32_t>(GetU32(rec + 5)));
      const uint32_t nameLength = GetU16(rec + 9);
      pos += kDirRecordFixedSize;
      const char* name = dir.Need(pos, nameLength);
      if (name == nullptr) throw ELQInvalidCentralInfo(FormatMessage(SDirRecordOutside, {i}));
      entry->SetName(std::string(name, nameLength));
      pos += nameLength;
      entries.push_back(std::move(entry));
    }
  }

  list.Clear();
  for (auto& entry : entries) {
    list.Add(entry.get());
    entry.release();
  }
}

TEntryHeader ReadEntryHeader(TStream& source, const TBlockLocation& block, int64_t offset) {
  const int64_t recordsEnd = block.Size - kCentralHeaderSize;
  if (offset < 0 || offset + kEntryHeaderSize > recordsEnd) throw ELQInvalidCentralInfo(SEntryOutside);
  char raw[kEntryHeaderSize];
  ReadAt(source, block.Start + offset, raw, kEntryHeaderSize);
  TEntryHeader header;
  header.Flags = static_cast<uint8_t>(raw[0]);
  header.StoredSize = GetU32(raw + 1);
  header.PlainSize = GetU32(raw + 5);
  header.PayloadPosition = block.Start + offset + kEntryHeaderSize;
  if (offset + kEntryHeaderSize + header.StoredSize > recordsEnd) throw ELQInvalidCentralInfo(SPayloadOutside);
  if (header.PlainSize > kMaxBlockSize) throw ELQInvalidCentralInfo(SPlainSizeTooLarge);
  return header;
}

}  // namespace limpet::layout

#include "LQBoundInfo.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "BoundLayout.h"
#include "EntryRestore.h"
#include "LQCipher.h"
#include "LQExcept.h"
#include "LQStreams.h"

namespace limpet {

LIMPET_DEFINE_CLASS(TBoundReader, TObject)

namespace {

const char* const SInvalidCentralInfo = "Invalid signature in central header information.";
const char* const SEntryIndexNotFound = "Cannot find the file entry with the specified index.";
const char* const SIncorrectPassword = "Incorrect password for the file entry.";
const char* const SStoredSizeMismatch =
    "Invalid file entry: its stored data do not hold its plain size.";
const char* const SInflatedTooShort =
    "Invalid file entry: its compressed data end before its plain size.";
const char* const SInflatedTooLong =
    "Invalid file entry: its compressed data hold more than its plain size.";
const char* const SInflateFailed = "Invalid file entry: its compressed data are damaged (%s).";

layout::TBlockLocation Location(const TBoundInfo& info) {
  return layout::TBlockLocation{info.Block.Start, info.Block.Size};
}

// Inflates a whole zlib stream in pieces, counting the output; raises
// unless it ends after exactly `plainSize` bytes.
void CheckInflatedSize(const uint8_t* data, int64_t size, int64_t plainSize) {
  z_stream z;
  std::memset(&z, 0, sizeof z);
  if (inflateInit(&z) != Z_OK) throw ELQDecompressError(FormatMessage(SInflateFailed, {"no memory"}), Z_MEM_ERROR);
  std::vector<uint8_t> scratch(64 * 1024);
  int64_t produced = 0;
  int64_t consumed = 0;
  int rc = Z_OK;
  for (;;) {
    if (z.avail_in == 0 && consumed < size) {
      const int64_t piece = std::min<int64_t>(size - consumed, 1 << 30);
      z.next_in = const_cast<Bytef*>(data + consumed);
      z.avail_in = static_cast<uInt>(piece);
      consumed += piece;
    }
    z.next_out = scratch.data();
    z.avail_out = static_cast<uInt>(scratch.size());
    rc = inflate(&z, Z_NO_FLUSH);
    produced += static_cast<int64_t>(scratch.size() - z.avail_out);
    // Z_BUF_ERROR: no input is left although the stream has not ended.
    if (rc != Z_OK || produced > plainSize) break;
  }
  const char* message = z.msg;
  inflateEnd(&z);
  if (produced > plainSize) throw ELQDecompressError(SInflatedTooLong, 0);
  if (rc == Z_STREAM_END) {
    if (produced < plainSize) throw ELQDecompressError(SInflatedTooShort, 0);
    return;
  }
  if (rc == Z_OK || rc == Z_BUF_ERROR) throw ELQDecompressError(SInflatedTooShort, Z_BUF_ERROR);
  throw ELQDecompressError(FormatMessage(SInflateFailed, {message != nullptr ? message : "zlib error"}), rc);
}

}  // namespace

TBoundReader::TBoundReader(const std::string& fileName) : FFile(fileName, fmOpenRead | fmShareDenyWrite) {
  FInfo.FileSize = FFile.Size();
  const layout::TBlockLocation block = layout::LocateBlock(FFile);
  FInfo.Block = TBoundBlock{block.Start, block.Size};

  TFileList directory;
  layout::ReadDirectory(FFile, block, directory);
  FInfo.Entries.reserve(static_cast<size_t>(directory.Count()));
  for (int32_t i = 0; i < directory.Count(); ++i) {
    const TFileEntry& entry = *directory.GetItems(i);
    TBoundEntryInfo e;
    e.Index = i;
    e.Name = entry.Name();
    e.ID = entry.ID();
    e.Flags = entry.Flags();
    e.CompressionLevel = entry.CompressionLevel();
    e.Encrypted = entry.Encrypted();
    // The record holds the offset as an unsigned 32-bit number.
    e.Offset = static_cast<uint32_t>(entry.Offset());
    try {
      const layout::TEntryHeader header = layout::ReadEntryHeader(FFile, block, e.Offset);
      e.StoredSize = header.StoredSize;
      e.PlainSize = header.PlainSize;
    } catch (const ELQInvalidCentralInfo& error) {
      e.HeaderError = error.Message();
    }
    FInfo.Entries.push_back(std::move(e));
  }
}

TBoundReader::~TBoundReader() = default;

const TBoundEntryInfo& TBoundReader::Entry(int32_t index) const {
  if (index < 0 || static_cast<size_t>(index) >= FInfo.Entries.size()) {
    throw ELQFileEntryNotFound(SEntryIndexNotFound);
  }
  return FInfo.Entries[static_cast<size_t>(index)];
}

void TBoundReader::ExtractToStream(int32_t index, TStream& stream, const std::string& password) {
  const TBoundEntryInfo& entry = Entry(index);
  const int64_t plainSize = detail::CopyStoredPayload(FFile, Location(FInfo), entry.Flags, entry.Offset, stream);
  detail::RestorePayload(entry.Flags, plainSize, stream, password);
}

void TBoundReader::Verify(int32_t index, const std::string& password) {
  const TBoundEntryInfo& entry = Entry(index);
  if (entry.Encrypted && password.empty()) throw ELQIncorrectPassword(SIncorrectPassword);
  TMemoryStream payload;
  const int64_t plainSize = detail::CopyStoredPayload(FFile, Location(FInfo), entry.Flags, entry.Offset, payload);
  if (entry.Encrypted) DecryptStream(password, payload);
  if (entry.CompressionLevel == 0) {
    if (payload.Size() != plainSize) throw ELQInvalidCentralInfo(SStoredSizeMismatch);
    return;
  }
  CheckInflatedSize(payload.Memory(), payload.Size(), plainSize);
}

TBoundInfo ReadBoundInfo(const std::string& fileName) { return TBoundReader(fileName).Info(); }

TBoundBlock StripBoundData(const std::string& fileName) {
  TFileStream file(fileName, fmOpenReadWrite | fmShareExclusive);
  const layout::TBlockLocation block = layout::LocateBlock(file);
  char magic[4];
  file.SetPosition(block.Start + block.Size - layout::kCentralHeaderSize);
  file.ReadBuffer(magic, sizeof magic);
  if (std::memcmp(magic, layout::kCentralMagic, sizeof magic) != 0) {
    throw ELQInvalidCentralInfo(SInvalidCentralInfo);
  }
  file.SetSize(block.Start);
  return TBoundBlock{block.Start, block.Size};
}

}  // namespace limpet

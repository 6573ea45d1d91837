// The bytes of a bound block: entry records, directory, central header and
// the executable tail. The binder writes them and the extractor reads them
// through this module only.
//
// Layout of a bound file: the earlier content, then the bound block of S
// bytes, then the 8-byte tail (S as 32 bits, then the tail magic). All
// integers are little-endian; positions count from the block's first byte.
//
//   entry record:     flags(1) stored size(4) plain size(4) payload
//   directory record: offset(4) flags(1) identifier(4) name length(2) name
//   central header:   magic(4) entry count(2) directory size(4) directory offset(4)
#pragma once

#include <cstdint>
#include <string>

#include "LQStreams.h"
#include "Limpet.h"

namespace limpet::layout {

inline constexpr char kCentralMagic[4] = {0x4C, 0x51, 0x05, 0x06};
inline constexpr char kTailMagic[4] = {0x4C, 0x51, 0x08, 0x07};
inline constexpr int32_t kEntryHeaderSize = 9;
inline constexpr int32_t kDirRecordFixedSize = 11;
inline constexpr int32_t kCentralHeaderSize = 14;
inline constexpr int32_t kTailSize = 8;
inline constexpr uint8_t kEncryptedFlag = 0x80;
inline constexpr uint8_t kLevelMask = 0x7F;
inline constexpr int64_t kMaxEntries = 65535;
inline constexpr int64_t kMaxNameLength = 65535;
// A block, and so each payload in it, stays below 2 GiB.
inline constexpr int64_t kMaxBlockSize = 0x7FFFFFFF;

// The name a directory record holds for an entry: its stored name, or its
// source path as given when the stored name is empty.
const std::string& RecordedName(const TFileEntry& entry) noexcept;

// The flags byte for an entry: its compression level, bit 7 when it has a
// password.
uint8_t EntryFlags(const TFileEntry& entry) noexcept;

// Refuses, with ELQException, a list that the format cannot record: more than
// 65535 entries or a recorded name longer than 65535 bytes.
void CheckEntries(const TFileList& list);

// Builds a block in a stream, appending at its end.
class TBlockWriter {
 public:
  explicit TBlockWriter(TStream& block) : FBlock(block) {}

  // Sets the entry's offset and flags, then appends its 9-byte header and
  // the whole content of `payload` (from position 0). Refuses a payload or a
  // block that would reach 2 GiB before writing anything.
  void AppendEntry(TFileEntry& entry, int64_t plainSize, TStream& payload);
  // Appends the directory of `list` and the central header.
  void Finish(const TFileList& list);

 private:
  int64_t Length();
  TStream& FBlock;
};

// The 8-byte executable tail for a block of `blockSize` bytes.
std::string MakeTail(int64_t blockSize);

// Where a block lies in a stream.
struct TBlockLocation {
  int64_t Start = 0;  // position of the block's first byte
  int64_t Size = 0;   // S, central header included
};

// Finds the block from the end of a file. Raises ELQInvalidEXESignature when
// the file is 8 bytes or shorter, has no tail magic, or records a block size
// that is below the central header or beyond the bytes before the tail.
TBlockLocation LocateBlock(TStream& file);

struct TEntryHeader {
  uint8_t Flags = 0;
  int64_t StoredSize = 0;
  int64_t PlainSize = 0;
  int64_t PayloadPosition = 0;  // in the stream, just after the header
};

// Reads the central header and the directory of the block into `list`,
// replacing its content only when the whole directory has been read.
// Raises ELQInvalidCentralInfo when the central magic is wrong ("Invalid
// signature in central header information.") or the directory does not lie
// within the block; `list` is then unchanged.
void ReadDirectory(TStream& source, const TBlockLocation& block, TFileList& list);

// Reads and checks the entry header at `offset` in the block: the header and
// its payload must lie within the block (before the central header).
TEntryHeader ReadEntryHeader(TStream& source, const TBlockLocation& block, int64_t offset);

}  // namespace limpet::layout

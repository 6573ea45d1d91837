// What a bound file holds, for tools that show, check, restore or remove its
// bound data: where the block lies and, per entry, the facts of its
// directory record and entry header. Reading opens the file the way the
// extractor does (others may read it but not write it) and reads only the
// tail, the central header, the directory and the 9-byte entry headers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "LQStreams.h"
#include "Limpet.h"

namespace limpet {

// Where a bound block lies in its file: Start is the position of its first
// byte, Size its length (central header included, the 8-byte tail not).
struct TBoundBlock {
  int64_t Start = 0;
  int64_t Size = 0;
};

// One entry of a bound block.
struct TBoundEntryInfo {
  int32_t Index = 0;  // position in directory order, from 0
  std::string Name;   // stored name, as recorded (any bytes)
  int32_t ID = -1;
  uint8_t Flags = 0;  // the directory record's flags byte
  TCompressLevel CompressionLevel = 0;
  bool Encrypted = false;
  int64_t Offset = 0;  // of the entry record, from the block's first byte
  // From the entry header: the bytes stored in the block (for an encrypted
  // entry the 4-byte password check value included) and the size of the
  // restored file. Both are -1 when the header cannot be used.
  int64_t StoredSize = -1;
  int64_t PlainSize = -1;
  // Why the entry header cannot be used (it lies outside the block, or its
  // sizes do); empty when it is sound.
  std::string HeaderError;
};

struct TBoundInfo {
  int64_t FileSize = 0;
  TBoundBlock Block;
  std::vector<TBoundEntryInfo> Entries;
};

// Reads the bound block's location, its directory and every entry header.
// A file without a valid tail raises ELQInvalidEXESignature, a damaged
// central header or directory ELQInvalidCentralInfo (the extractor's errors
// and messages); a damaged entry header is reported in that entry's
// HeaderError instead, so that the other entries can still be shown.
TBoundInfo ReadBoundInfo(const std::string& fileName);

// Reads the entries of one bound file one after another by their position
// in the directory, which also reaches entries hidden behind an earlier one
// with the same name and identifier. The file stays open (others may read
// it but not write it) from construction to destruction, and its directory
// is read once, so restoring every entry costs one pass over the block.
class TBoundReader : public TObject {
  LIMPET_CLASS(TBoundReader)
 public:
  // Opens the file and reads what ReadBoundInfo reads, with its errors.
  explicit TBoundReader(const std::string& fileName);
  TBoundReader(const TBoundReader&) = delete;
  TBoundReader& operator=(const TBoundReader&) = delete;
  ~TBoundReader() override;

  const TBoundInfo& Info() const noexcept { return FInfo; }

  // Restores the entry at `index` into the stream exactly as the
  // extractor restores it by name or identifier, with the same errors; the
  // stream then holds only the restored file, at position 0. An index
  // outside the directory raises ELQFileEntryNotFound.
  void ExtractToStream(int32_t index, TStream& stream, const std::string& password);

  // Checks that the entry at `index` restores to exactly the bytes its
  // header promises, which restoring alone does not check: a stored entry
  // must hold its plain size, and a compressed entry's zlib data must end,
  // with a correct Adler-32 checksum, after exactly its plain size (the
  // inflated bytes are counted, never held whole). An encrypted entry needs
  // its password; an empty one is refused like a wrong one. Raises
  // ELQIncorrectPassword, ELQInvalidCentralInfo or ELQDecompressError.
  void Verify(int32_t index, const std::string& password);

 private:
  const TBoundEntryInfo& Entry(int32_t index) const;

  TFileStream FFile;
  TBoundInfo FInfo;
};

// Removes the bound block and its tail, leaving the bytes the file had
// before it was first bound. The file is held exclusively meanwhile. A file
// without a valid tail or whose block does not end in a central header is
// refused (ELQInvalidEXESignature, ELQInvalidCentralInfo) and left alone.
// Returns where the removed block lay.
TBoundBlock StripBoundData(const std::string& fileName);

}  // namespace limpet

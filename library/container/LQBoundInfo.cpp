#include "LQBoundInfo.h"

#include <cstring>

#include "BoundLayout.h"
#include "LQExcept.h"
#include "LQStreams.h"

namespace limpet {

namespace {

const char* const SInvalidCentralInfo = "Invalid signature in central header information.";

}  // namespace

TBoundInfo ReadBoundInfo(const std::string& fileName) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
  TBoundInfo info;
  info.FileSize = file.Size();
  const layout::TBlockLocation block = layout::LocateBlock(file);
  info.Block = TBoundBlock{block.Start, block.Size};

  TFileList directory;
  layout::ReadDirectory(file, block, directory);
  info.Entries.reserve(static_cast<size_t>(directory.Count()));
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
      const layout::TEntryHeader header = layout::ReadEntryHeader(file, block, e.Offset);
      e.StoredSize = header.StoredSize;
      e.PlainSize = header.PlainSize;
    } catch (const ELQInvalidCentralInfo& error) {
      e.HeaderError = error.Message();
    }
    info.Entries.push_back(std::move(e));
  }
  return info;
}

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

#include <cstring>

#include "BoundLayout.h"
#include "LQCipher.h"
#include "LQComp.h"
#include "LQExcept.h"
#include "LQStreams.h"
#include "Limpet.h"

namespace limpet {

LIMPET_DEFINE_CLASS(TLimpet, TObject)

namespace {

const char* const SBadExistingTail =
    "Cannot update %s: its bound-data tail records a block larger than the file.";
const char* const SSourceTooLarge = "Cannot bind %s: files of 2 GiB or more cannot be bound.";

// Where the bytes of an earlier binding start: the file's length less the
// earlier block and its tail, or the file's length when it has no tail.
int64_t EarlierBlockStart(TStream& exe, int64_t size, const std::string& fileName) {
  if (size <= layout::kTailSize) return size;
  uint8_t tail[layout::kTailSize];
  exe.SetPosition(size - layout::kTailSize);
  exe.ReadBuffer(tail, layout::kTailSize);
  if (std::memcmp(tail + 4, layout::kTailMagic, 4) != 0) return size;
  int64_t blockSize = static_cast<int64_t>(tail[0]) | static_cast<int64_t>(tail[1]) << 8 |
                      static_cast<int64_t>(tail[2]) << 16 | static_cast<int64_t>(tail[3]) << 24;
  if (blockSize > size - layout::kTailSize) {
    throw ELQException(FormatMessage(SBadExistingTail, {fileName}));
  }
  return size - layout::kTailSize - blockSize;
}

// Replaces everything from `cut` on with the block and its tail. The bytes
// that are replaced are kept first, so that a failed write (a full disk)
// can put the file back exactly as it was before the error is passed on.
void ReplaceTail(TStream& exe, int64_t cut, int64_t size, TMemoryStream& block, const std::string& tail) {
  TMemoryStream replaced;
  if (cut < size) {
    exe.SetPosition(cut);
    replaced.CopyFrom(exe, size - cut);
  }
  try {
    if (cut < size) exe.SetSize(cut);
    exe.SetPosition(cut);
    exe.WriteBuffer(block.Memory(), block.Size());
    exe.WriteBuffer(tail.data(), static_cast<int64_t>(tail.size()));
  } catch (...) {
    try {
      exe.SetSize(cut);
      exe.SetPosition(cut);
      replaced.SaveToStream(exe);
    } catch (...) {
      // The original error is the one worth reporting.
    }
    throw;
  }
}

}  // namespace

TLimpet::TLimpet() : FFileList(new TFileList()) {}

TLimpet::~TLimpet() { delete FFileList; }

void TLimpet::ReportProgress(int64_t done, int64_t total) {
  if (!FOnProgress) return;
  const TObject* bound = FOnProgress.Object();
  if (bound != nullptr && !IsLiveObject(bound)) return;
  FOnProgress(this, done, total);
}

void TLimpet::Update() {
  TFileStream exe(FFileName, fmOpenReadWrite | fmShareExclusive);
  layout::CheckEntries(*FFileList);
  const int64_t size = exe.Size();
  const int64_t cut = EarlierBlockStart(exe, size, FFileName);

  int64_t total = 0;
  int64_t done = 0;
  if (FOnProgress) {
    for (int32_t i = 0; i < FFileList->Count(); ++i) {
      TFileStream source(FFileList->GetItems(i)->FileName(), fmOpenRead | fmShareDenyWrite);
      total += source.Size();
    }
    ReportProgress(0, total);
  }

  TMemoryStream block;
  TMemoryStream data;
  layout::TBlockWriter writer(block);
  for (int32_t i = 0; i < FFileList->Count(); ++i) {
    TFileEntry& entry = *FFileList->GetItems(i);
    data.LoadFromFile(entry.FileName());
    const int64_t plainSize = data.Size();
    if (plainSize > layout::kMaxBlockSize) {
      throw ELQException(FormatMessage(SSourceTooLarge, {entry.FileName()}));
    }
    if (entry.CompressionLevel() != 0) CompressStream(entry.CompressionLevel(), data);
    EncryptStream(entry.Password(), data);
    writer.AppendEntry(entry, plainSize, data);
    done += plainSize;
    ReportProgress(done, total);
  }
  writer.Finish(*FFileList);

  ReplaceTail(exe, cut, size, block, layout::MakeTail(block.Size()));
}

}  // namespace limpet

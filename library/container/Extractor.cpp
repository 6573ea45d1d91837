#include <memory>

#include "BoundLayout.h"
#include "EntryRestore.h"
#include "LQCipher.h"
#include "LQComp.h"
#include "LQExcept.h"
#include "LQOS.h"
#include "LQStreams.h"
#include "Limpet.h"

namespace limpet {

LIMPET_DEFINE_CLASS(TExtractFromEXE, TObject)

namespace {

const char* const SEntryNameNotFound = "Cannot find the file entry with the specified name.";
const char* const SEntryIDNotFound = "Cannot find the file entry with the specified ID.";
const char* const SPlainSizeImplausible =
    "Invalid file entry: its plain size cannot come from its stored data.";

// Deflate cannot expand data by more than about 1032 to 1; a plain size far
// beyond that is a damaged or forged field, refused before anything is
// allocated for it.
constexpr int64_t kMaxInflateRatio = 1032;

const char* NotFoundMessage(const std::string&) { return SEntryNameNotFound; }
const char* NotFoundMessage(int32_t) { return SEntryIDNotFound; }

// The file opened the way every reading operation opens it.
TFileStream OpenForReading(const std::string& fileName) {
  return TFileStream(fileName, fmOpenRead | fmShareDenyWrite);
}

}  // namespace

TExtractFromEXE::TExtractFromEXE() : FFileList(new TFileList()) {}

TExtractFromEXE::~TExtractFromEXE() { delete FFileList; }

const std::string& TExtractFromEXE::ResolvedFileName() {
  if (FFileName.empty()) FFileName = os::ExecutablePath();
  return FFileName;
}

void TExtractFromEXE::ExtractStreamFromEXE(TStream& stream) {
  TFileStream file = OpenForReading(ResolvedFileName());
  layout::TBlockLocation block = layout::LocateBlock(file);
  stream.SetSize(0);
  file.SetPosition(block.Start);
  stream.CopyFrom(file, block.Size);
}

void TExtractFromEXE::ExtractToFileList() {
  // Listing needs only the central header and the directory.
  TFileStream file = OpenForReading(ResolvedFileName());
  layout::TBlockLocation block = layout::LocateBlock(file);
  layout::ReadDirectory(file, block, *FFileList);
}

template <class TKey>
void TExtractFromEXE::RestoreEntry(const TKey& key, TStream& stream, const std::string& password) {
  uint8_t flags;
  int64_t plainSize;
  {
    // Restoring one entry needs the directory and that entry's record only.
    TFileStream file = OpenForReading(ResolvedFileName());
    layout::TBlockLocation block = layout::LocateBlock(file);
    TFileList entries;
    layout::ReadDirectory(file, block, entries);
    int32_t index = 0;
    if (!entries.Find(key, index)) throw ELQFileEntryNotFound(NotFoundMessage(key));
    const TFileEntry& entry = *entries.GetItems(index);
    flags = entry.Flags();
    plainSize = detail::CopyStoredPayload(file, block, flags, entry.Offset(), stream);
  }
  detail::RestorePayload(flags, plainSize, stream, password);
}

template <class TKey>
void TExtractFromEXE::RestoreToFile(const TKey& key, const std::string& fileName, const std::string& password) {
  TMemoryStream restored;
  RestoreEntry(key, restored, password);
  TFileStream out(fileName, fmCreate);
  restored.SaveToStream(out);
}

void TExtractFromEXE::ExtractToStream(const std::string& name, TStream& stream, const std::string& password) {
  RestoreEntry(name, stream, password);
}

void TExtractFromEXE::ExtractToStream(int32_t id, TStream& stream, const std::string& password) {
  RestoreEntry(id, stream, password);
}

void TExtractFromEXE::ExtractToFile(const std::string& name, const std::string& fileName,
                                    const std::string& password) {
  RestoreToFile(name, fileName, password);
}

void TExtractFromEXE::ExtractToFile(int32_t id, const std::string& fileName, const std::string& password) {
  RestoreToFile(id, fileName, password);
}

namespace detail {

int64_t CopyStoredPayload(TStream& file, const layout::TBlockLocation& block, uint8_t flags,
                          int64_t offset, TStream& stream) {
  layout::TEntryHeader header = layout::ReadEntryHeader(file, block, offset);
  if ((flags & layout::kLevelMask) != 0 && header.PlainSize > (header.StoredSize + 1) * kMaxInflateRatio) {
    throw ELQInvalidCentralInfo(SPlainSizeImplausible);
  }
  stream.SetSize(0);
  if (header.StoredSize > 0) {
    file.SetPosition(header.PayloadPosition);
    stream.CopyFrom(file, header.StoredSize);
  }
  return header.PlainSize;
}

void RestorePayload(uint8_t flags, int64_t plainSize, TStream& stream, const std::string& password) {
  if ((flags & layout::kEncryptedFlag) != 0) DecryptStream(password, stream);
  if ((flags & layout::kLevelMask) != 0) DecompressStream(static_cast<int32_t>(plainSize), stream);
  stream.SetPosition(0);
}

}  // namespace detail

}  // namespace limpet

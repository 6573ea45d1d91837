// The bound-file container: file entries, the list that holds them, the
// extractor and the binder.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "LQEvents.h"
#include "LQObList.h"
#include "LQObject.h"

namespace limpet {

// Compression level: 0 stores, 1 to 9 are zlib's levels.
using TCompressLevel = uint8_t;

// One file: on the binding side the file to append and how to store it, on
// the extracting side an entry found in a bound block.
class TFileEntry : public TObject {
  LIMPET_CLASS(TFileEntry)
 public:
  // The password that entries read back from a bound block carry when they
  // are encrypted; the real password is never stored.
  static constexpr const char* EncryptedMarker = "ENTRYPTED";

  TFileEntry() noexcept = default;

  // Storage flags: bits 0 to 6 the compression level, bit 7 set when the
  // entry is encrypted. Filled in by the binder and the directory reader.
  uint8_t Flags() const noexcept { return FFlags; }
  void SetFlags(uint8_t value) noexcept { FFlags = value; }
  // Position of the entry's record in the bound block.
  int32_t Offset() const noexcept { return FOffset; }
  void SetOffset(int32_t value) noexcept { FOffset = value; }
  // Path of the source file to bind; empty in entries read back.
  const std::string& FileName() const noexcept { return FFileName; }
  void SetFileName(const std::string& value) { FFileName = value; }
  // Stored name, the lookup key.
  const std::string& Name() const noexcept { return FName; }
  void SetName(const std::string& value) { FName = value; }
  // Identifier, the second lookup key.
  int32_t ID() const noexcept { return FID; }
  void SetID(int32_t value) noexcept { FID = value; }
  TCompressLevel CompressionLevel() const noexcept { return FCompressionLevel; }
  void SetCompressionLevel(TCompressLevel value) noexcept { FCompressionLevel = value; }
  // Empty for no encryption.
  const std::string& Password() const noexcept { return FPassword; }
  void SetPassword(const std::string& value) { FPassword = value; }
  // True exactly when Password is not empty.
  bool Encrypted() const noexcept { return GetEncryptedState(); }

 private:
  bool GetEncryptedState() const noexcept { return !FPassword.empty(); }

  uint8_t FFlags = 0;
  int32_t FOffset = 0;
  std::string FFileName;
  std::string FName;
  int32_t FID = -1;
  TCompressLevel FCompressionLevel = 0;
  std::string FPassword;
};

// An owning list of file entries: deleting, replacing, clearing or
// destroying frees them.
class TFileList : public TObjList {
  LIMPET_CLASS(TFileList)
 public:
  TFileList() noexcept : TObjList(true) {}

  int32_t Add(TFileEntry* entry) { return TObjList::Add(entry); }
  void Insert(int32_t index, TFileEntry* entry) { TObjList::Insert(index, entry); }
  int32_t IndexOf(const TFileEntry* entry) const noexcept { return TObjList::IndexOf(entry); }
  int32_t Remove(TFileEntry* entry) { return TObjList::Remove(entry); }
  TFileEntry* GetItems(int32_t index) const { return static_cast<TFileEntry*>(Get(index)); }
  void SetItems(int32_t index, TFileEntry* entry) { Put(index, entry); }
  TFileEntry* Items(int32_t index) const { return GetItems(index); }

  // The first entry, from index 0, whose stored name equals `name` byte for
  // byte (so names differing in letter case do not match). Stores its index
  // and returns true; returns false and leaves `index` alone otherwise.
  bool Find(const std::string& name, int32_t& index) const;
  // The same, matching the identifier.
  bool Find(int32_t id, int32_t& index) const;

 private:
  template <class TMatch>
  bool FindFirst(TMatch matches, int32_t& index) const;
};

class TStream;

// Reads files back out of a bound executable: by default the running
// program's own, otherwise the file named by FileName. Every operation opens
// the file (others may read it but not write it), reads what it needs and
// closes it again; nothing stays open between calls.
class TExtractFromEXE : public TObject {
  LIMPET_CLASS(TExtractFromEXE)
 public:
  TExtractFromEXE();
  TExtractFromEXE(const TExtractFromEXE&) = delete;
  TExtractFromEXE& operator=(const TExtractFromEXE&) = delete;
  ~TExtractFromEXE() override;

  // Empty until the first operation that reads the file fills in the path of
  // the running program's executable.
  const std::string& FileName() const noexcept { return FFileName; }
  void SetFileName(const std::string& value) { FFileName = value; }
  // The entries found by the last successful ExtractToFileList.
  TFileList& FileList() noexcept { return *FFileList; }

  // Replaces the stream's content with the bound block; leaves it positioned
  // at the block's end.
  void ExtractStreamFromEXE(TStream& stream);
  // Replaces FileList's content with one entry per directory record.
  void ExtractToFileList();
  // Restore the first entry with that stored name (or identifier) into the
  // stream, which then holds only the restored file, at position 0.
  void ExtractToStream(const std::string& name, TStream& stream, const std::string& password);
  void ExtractToStream(int32_t id, TStream& stream, const std::string& password);
  // The same into a file, which is created (or emptied) only once the entry
  // has been restored.
  void ExtractToFile(const std::string& name, const std::string& fileName, const std::string& password);
  void ExtractToFile(int32_t id, const std::string& fileName, const std::string& password);

 private:
  const std::string& ResolvedFileName();
  template <class TKey>
  void RestoreEntry(const TKey& key, TStream& stream, const std::string& password);
  template <class TKey>
  void RestoreToFile(const TKey& key, const std::string& fileName, const std::string& password);

  std::string FFileName;
  TFileList* FFileList;
};

// Progress in bytes: sender, bytes done, bytes in all.
using TByteProgressEvent = TEvent<TObject*, int64_t, int64_t>;

// Binds the entries of FileList to the file FileName, replacing the block of
// an earlier binding.
class TLimpet : public TObject {
  LIMPET_CLASS(TLimpet)
 public:
  TLimpet();
  TLimpet(const TLimpet&) = delete;
  TLimpet& operator=(const TLimpet&) = delete;
  ~TLimpet() override;

  const std::string& FileName() const noexcept { return FFileName; }
  void SetFileName(const std::string& value) { FFileName = value; }
  TFileList& FileList() noexcept { return *FFileList; }
  // Fired, when set, with the binder, the bytes of source files read so far
  // and the sizes of all source files added up: once with 0 before the first
  // entry and once after each entry has been compressed and encrypted.
  // Setting it makes Update look at every source file's size first.
  const TByteProgressEvent& OnProgress() const noexcept { return FOnProgress; }
  void SetOnProgress(TByteProgressEvent event) { FOnProgress = std::move(event); }

  // Builds the whole block in memory, then cuts off an earlier block and
  // writes the new block and its tail behind the file's last byte. The file
  // is held exclusively meanwhile. When writing fails part way, the file is
  // put back to its bytes before the call and the error is raised.
  void Update();

 private:
  void ReportProgress(int64_t done, int64_t total);

  std::string FFileName;
  TFileList* FFileList;
  TByteProgressEvent FOnProgress;
};

}  // namespace limpet

// Streams: the abstract seekable stream, the memory stream and the file
// stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "LQObject.h"
#include "LQSysUtils.h"

namespace limpet {

// Seek origins.
inline constexpr int32_t soFromBeginning = 0;
inline constexpr int32_t soFromCurrent = 1;
inline constexpr int32_t soFromEnd = 2;

// File open modes (one of the first four) combined with one sharing mode.
inline constexpr uint16_t fmCreate = 0xFF00;
inline constexpr uint16_t fmOpenRead = 0x0000;
inline constexpr uint16_t fmOpenWrite = 0x0001;
inline constexpr uint16_t fmOpenReadWrite = 0x0002;
inline constexpr uint16_t fmShareCompat = 0x0000;
inline constexpr uint16_t fmShareExclusive = 0x0010;
inline constexpr uint16_t fmShareDenyWrite = 0x0020;
inline constexpr uint16_t fmShareDenyRead = 0x0030;
inline constexpr uint16_t fmShareDenyNone = 0x0040;

// A seekable byte stream. Read and Write move up to `count` bytes and return
// the number moved (0 or less at the end of the data or on an error). Seek
// returns the new position, or -1 when the stream cannot move there.
class TStream : public TObject {
  LIMPET_CLASS(TStream)
 public:
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  virtual int64_t Seek(int64_t offset, int32_t origin) = 0;

  int64_t Position() { return Seek(0, soFromCurrent); }
  void SetPosition(int64_t position) { Seek(position, soFromBeginning); }
  // The size, found by seeking to the end and back.
  virtual int64_t Size();
  // Sets the size; the default does nothing. Streams that can change their
  // size keep the position when it is within the new size and move it to the
  // new end otherwise, so that SetSize(0) empties the stream and puts its
  // position at 0.
  virtual void SetSize(int64_t newSize);

  // Read or write exactly `count` bytes; fewer raise EReadError or
  // EWriteError.
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  // Copies `count` bytes from source's current position. With count 0 the
  // source is first rewound and all of it is copied. Fewer bytes than asked
  // raise EReadError. Returns the number of bytes copied.
  int64_t CopyFrom(TStream& source, int64_t count);
};

// A stream held in memory. Its bytes are contiguous and reachable through
// Memory().
class TMemoryStream : public TStream {
  LIMPET_CLASS(TMemoryStream)
 public:
  TMemoryStream() noexcept = default;
  TMemoryStream(const TMemoryStream&) = delete;
  TMemoryStream& operator=(const TMemoryStream&) = delete;
  ~TMemoryStream() override;

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, int32_t origin) override;
  int64_t Size() override { return FSize; }
  void SetSize(int64_t newSize) override;

  uint8_t* Memory() noexcept { return FMemory; }
  const uint8_t* Memory() const noexcept { return FMemory; }
  int64_t Capacity() const noexcept { return FCapacity; }
  // Reserves room for at least `capacity` bytes (never shrinks below Size).
  void SetCapacity(int64_t capacity);
  // Empties the stream and releases its memory.
  void Clear();
  // The whole content as a byte string.
  std::string DataString() const;
  // Exchanges content, size, position and capacity with `other`, without
  // copying a byte.
  void Swap(TMemoryStream& other) noexcept;

  void LoadFromStream(TStream& source);
  void LoadFromFile(const std::string& fileName);
  void SaveToStream(TStream& dest);
  void SaveToFile(const std::string& fileName);

 private:
  friend class TStream;
  void Reallocate(int64_t capacity);
  // Room for bytes up to `end`; a gap behind the current size is zeroed.
  void MakeRoom(int64_t end);
  // Reads `count` bytes from source straight into the stream's memory at
  // its position (CopyFrom into a plain memory stream).
  void ReadIntoMemory(TStream& source, int64_t count);
  uint8_t* FMemory = nullptr;
  int64_t FSize = 0;
  int64_t FPosition = 0;
  int64_t FCapacity = 0;
};

// A stream over an open operating-system file handle. The handle is not
// closed by this class.
class THandleStream : public TStream {
  LIMPET_CLASS(THandleStream)
 public:
  explicit THandleStream(int handle) noexcept : FHandle(handle) {}
  THandleStream(const THandleStream&) = delete;
  THandleStream& operator=(const THandleStream&) = delete;

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, int32_t origin) override;
  void SetSize(int64_t newSize) override;
  int Handle() const noexcept { return FHandle; }

 protected:
  int FHandle;
};

// A file opened by name. `mode` is an open mode or fmCreate, combined with a
// sharing mode. Sharing is enforced among cooperating processes with advisory
// whole-file locks: deny-write takes a shared lock; exclusive, deny-read and
// compatible modes an exclusive lock; deny-none no lock. A lock that
// cannot be had raises EFOpenError (EFCreateError for fmCreate) at once.
// fmCreate creates the file or empties an existing one, after the lock.
class TFileStream : public THandleStream {
  LIMPET_CLASS(TFileStream)
 public:
  TFileStream(const std::string& fileName, uint16_t mode);
  ~TFileStream() override;
  const std::string& FileName() const noexcept { return FFileName; }

 private:
  std::string FFileName;
};

}  // namespace limpet

#include "LQStreams.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <typeinfo>
#include <utility>

#include "LQOS.h"

namespace limpet {

LIMPET_DEFINE_CLASS(TStream, TObject)
LIMPET_DEFINE_CLASS(TMemoryStream, TStream)
LIMPET_DEFINE_CLASS(THandleStream, TStream)
LIMPET_DEFINE_CLASS(TFileStream, THandleStream)

namespace {
constexpr int32_t kCopyBlock = 1 << 20;
constexpr int32_t kMaxChunk = 1 << 30;
}  // namespace

// ---------------------------------------------------------------- TStream

int64_t TStream::Size() {
  int64_t pos = Seek(0, soFromCurrent);
  int64_t size = Seek(0, soFromEnd);
  Seek(pos, soFromBeginning);
  return size;
}

void TStream::SetSize(int64_t) {}

void TStream::ReadBuffer(void* buffer, int64_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    int32_t chunk = static_cast<int32_t>(std::min<int64_t>(count, kMaxChunk));
    int32_t got = Read(p, chunk);
    if (got != chunk) throw EReadError(SReadError);
    p += got;
    count -= got;
  }
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  auto* p = static_cast<const uint8_t*>(buffer);
  while (count > 0) {
    int32_t chunk = static_cast<int32_t>(std::min<int64_t>(count, kMaxChunk));
    int32_t put = Write(p, chunk);
    if (put != chunk) throw EWriteError(SWriteError);
    p += put;
    count -= put;
  }
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  int64_t result = count;
  // A memory source hands its bytes over without an intermediate buffer.
  auto* mem = dynamic_cast<TMemoryStream*>(&source);
  if (mem != nullptr && mem != this) {
    int64_t pos = mem->Position();
    if (pos < 0 || count > mem->Size() - pos) throw EReadError(SReadError);
    WriteBuffer(mem->Memory() + pos, count);
    mem->SetPosition(pos + count);
    return result;
  }
  // A plain memory destination takes the bytes straight into its memory.
  auto* dest = dynamic_cast<TMemoryStream*>(this);
  if (dest != nullptr && typeid(*dest) == typeid(TMemoryStream) && &source != this) {
    dest->ReadIntoMemory(source, count);
    return result;
  }
  int32_t blockSize = static_cast<int32_t>(std::min<int64_t>(count, kCopyBlock));
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[std::max(blockSize, 1)]);
  while (count > 0) {
    int32_t n = static_cast<int32_t>(std::min<int64_t>(count, blockSize));
    source.ReadBuffer(buffer.get(), n);
    WriteBuffer(buffer.get(), n);
    count -= n;
  }
  return result;
}

// ---------------------------------------------------------- TMemoryStream

TMemoryStream::~TMemoryStream() { std::free(FMemory); }

void TMemoryStream::Reallocate(int64_t capacity) {
  if (capacity == FCapacity) return;
  if (capacity == 0) {
    std::free(FMemory);
    FMemory = nullptr;
    FCapacity = 0;
    return;
  }
  if (capacity < 0 || static_cast<uint64_t>(capacity) > SIZE_MAX / 2) throw std::bad_alloc();
  void* p = std::realloc(FMemory, static_cast<size_t>(capacity));
  if (p == nullptr) throw std::bad_alloc();
  FMemory = static_cast<uint8_t*>(p);
  FCapacity = capacity;
}

void TMemoryStream::SetCapacity(int64_t capacity) {
  Reallocate(std::max(capacity, FSize));
}

void TMemoryStream::SetSize(int64_t newSize) {
  if (newSize < 0) newSize = 0;
  if (newSize > FCapacity) {
    Reallocate(newSize);
  } else if (newSize == 0) {
    Reallocate(0);
  }
  if (newSize > FSize) std::memset(FMemory + FSize, 0, static_cast<size_t>(newSize - FSize));
  FSize = newSize;
  if (FPosition > FSize) FPosition = FSize;
}

void TMemoryStream::Clear() {
  Reallocate(0);
  FSize = 0;
  FPosition = 0;
}

int32_t TMemoryStream::Read(void* buffer, int32_t count) {
  if (count <= 0 || FPosition < 0 || FPosition >= FSize) return 0;
  int64_t n = std::min<int64_t>(count, FSize - FPosition);
  std::memcpy(buffer, FMemory + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return static_cast<int32_t>(n);
}

void TMemoryStream::MakeRoom(int64_t end) {
  if (end > FCapacity) {
    // Grow geometrically so that a stream filled by many writes costs
    // amortised constant time per byte.
    int64_t grown = FCapacity + FCapacity / 2;
    Reallocate(std::max<int64_t>({end, grown, 4096}));
  }
  if (FPosition > FSize) std::memset(FMemory + FSize, 0, static_cast<size_t>(FPosition - FSize));
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count) {
  if (count <= 0 || FPosition < 0) return 0;
  int64_t end = FPosition + count;
  MakeRoom(end);
  std::memmove(FMemory + FPosition, buffer, static_cast<size_t>(count));
  FPosition = end;
  if (end > FSize) FSize = end;
  return count;
}

void TMemoryStream::ReadIntoMemory(TStream& source, int64_t count) {
  if (count <= 0) return;
  if (FPosition < 0) throw EWriteError(SWriteError);
  int64_t end = FPosition + count;
  MakeRoom(end);
  source.ReadBuffer(FMemory + FPosition, count);
  FPosition = end;
  if (end > FSize) FSize = end;
}

int64_t TMemoryStream::Seek(int64_t offset, int32_t origin) {
  int64_t base;
  switch (origin) {
    case soFromBeginning: base = 0; break;
    case soFromCurrent: base = FPosition; break;
    case soFromEnd: base = FSize; break;
    default: return -1;
  }
  int64_t target = base + offset;
  if (target < 0) return -1;
  FPosition = target;
  return FPosition;
}

void TMemoryStream::Swap(TMemoryStream& other) noexcept {
  std::swap(FMemory, other.FMemory);
  std::swap(FSize, other.FSize);
  std::swap(FPosition, other.FPosition);
  std::swap(FCapacity, other.FCapacity);
}

std::string TMemoryStream::DataString() const {
  return std::string(reinterpret_cast<const char*>(FMemory), static_cast<size_t>(FSize));
}

void TMemoryStream::LoadFromStream(TStream& source) {
  source.SetPosition(0);
  int64_t count = source.Size();
  SetSize(count);
  if (count != 0) source.ReadBuffer(FMemory, count);
  FPosition = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(file);
}

void TMemoryStream::SaveToStream(TStream& dest) {
  if (FSize != 0) dest.WriteBuffer(FMemory, FSize);
}

void TMemoryStream::SaveToFile(const std::string& fileName) {
  TFileStream file(fileName, fmCreate);
  SaveToStream(file);
}

// ---------------------------------------------------------- THandleStream

int32_t THandleStream::Read(void* buffer, int32_t count) {
  if (count <= 0) return 0;
  int64_t got = os::ReadFile(FHandle, buffer, static_cast<size_t>(count));
  return static_cast<int32_t>(got);
}

int32_t THandleStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  int64_t put = os::WriteFile(FHandle, buffer, static_cast<size_t>(count));
  return static_cast<int32_t>(put);
}

int64_t THandleStream::Seek(int64_t offset, int32_t origin) {
  return os::SeekFile(FHandle, offset, origin);
}

void THandleStream::SetSize(int64_t newSize) {
  if (newSize < 0) newSize = 0;
  int64_t pos = Position();
  if (!os::TruncateFile(FHandle, newSize)) throw EWriteError(SWriteError);
  if (pos > newSize) Seek(0, soFromEnd);
}

// ------------------------------------------------------------ TFileStream

TFileStream::TFileStream(const std::string& fileName, uint16_t mode)
    : THandleStream(-1), FFileName(fileName) {
  const bool create = (mode & 0xFF00) == fmCreate;
  const uint16_t share = mode & 0x00F0;
  os::TFileLock lock = os::flExclusive;
  if (share == fmShareDenyWrite) {
    lock = os::flShared;
  } else if (share == fmShareDenyNone) {
    lock = os::flNone;
  }
  os::TFileAccess access = os::faRead;
  if (create || (mode & 0x0003) == fmOpenReadWrite) {
    access = os::faReadWrite;
  } else if ((mode & 0x0003) == fmOpenWrite) {
    access = os::faWrite;
  }
  FHandle = os::OpenFile(fileName, access, create, lock);
  if (FHandle < 0) {
    if (create) throw EFCreateError(FormatMessage(SFCreateError, {fileName}));
    throw EFOpenError(FormatMessage(SFOpenError, {fileName}));
  }
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) os::CloseFile(FHandle);
}

}  // namespace limpet

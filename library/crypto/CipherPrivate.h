// Internals shared by the implementation files of LQCipher.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "CipUtils.h"
#include "LQOS.h"

namespace limpet::cipher_internal {

// Size of the work buffer of the stream routines.
inline constexpr int32_t kChunkSize = 4096;

// Overwrites a secret with 0xAA bytes, then 0x55 bytes, then `idle`.
inline void WipeSecret(void* p, size_t size, uint8_t idle) noexcept {
  os::WipeMemory(p, size, 0xAA);
  os::WipeMemory(p, size, 0x55);
  os::WipeMemory(p, size, idle);
}

// Progress counts are 32-bit: totals beyond that are reported scaled down
// by a power of two, so that the ratio current/maximal stays right.
inline void ReportProgress(TObject* sender, int64_t current, int64_t maximal) {
  while (maximal > INT32_MAX) {
    maximal >>= 1;
    current >>= 1;
  }
  DoProgress(sender, static_cast<int32_t>(current), static_cast<int32_t>(maximal));
}

// The work buffer of the stream routines: it holds plain data, so it is
// cleared before its memory goes.
struct TChunkBuffer {
  uint8_t Data[kChunkSize] = {};
  ~TChunkBuffer() { os::WipeMemory(Data, sizeof(Data), 0); }
};

// A heap buffer for keystream, digests and other secrets of a routine:
// cleared before its memory goes, on every path.
class TSecretBuffer {
 public:
  explicit TSecretBuffer(size_t size) : FData(new uint8_t[size == 0 ? 1 : size]()), FSize(size) {}
  ~TSecretBuffer() { os::WipeMemory(FData.get(), FSize, 0); }
  TSecretBuffer(const TSecretBuffer&) = delete;
  TSecretBuffer& operator=(const TSecretBuffer&) = delete;
  uint8_t* Data() noexcept { return FData.get(); }
  size_t Size() const noexcept { return FSize; }

 private:
  std::unique_ptr<uint8_t[]> FData;
  size_t FSize;
};

// Holds a reference on a protection for the length of a scope (null and
// dead pointers are ignored), so that a protection handed to an operation
// and held by nobody else is destroyed when the operation ends, however it
// ends.
class TProtectionHold {
 public:
  explicit TProtectionHold(TProtection* p) noexcept : FP(p) { TProtection::AddRef(FP); }
  ~TProtectionHold() { TProtection::Release(FP); }
  TProtectionHold(const TProtectionHold&) = delete;
  TProtectionHold& operator=(const TProtectionHold&) = delete;

 private:
  TProtection* FP;
};

}  // namespace limpet::cipher_internal

// Internals shared by the implementation files of LQCipher.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "CipUtils.h"
#include "CodingLoop.h"
#include "LQOS.h"

namespace limpet::cipher_internal {

using coding_internal::CodeChunks;
using coding_internal::kChunkSize;
using coding_internal::ReportProgress;
using coding_internal::TChunkBuffer;

// Overwrites a secret with 0xAA bytes, then 0x55 bytes, then `idle`.
inline void WipeSecret(void* p, size_t size, uint8_t idle) noexcept {
  os::WipeMemory(p, size, 0xAA);
  os::WipeMemory(p, size, 0x55);
  os::WipeMemory(p, size, idle);
}

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

// TCipher: the eight chaining modes over buffers, and the block-by-block
// defaults of the bulk hooks.
//
// Notation: n the block length, F the feedback block, W the work block,
// V the initial vector, E and D the algorithm's block operations in place.
#include <cstdint>
#include <cstring>
#include <utility>

#include "CipherPrivate.h"
#include "LQCipher.h"

namespace limpet {

using namespace cipher_internal;

namespace {

bool Overlap(const uint8_t* a, const uint8_t* b, size_t size) noexcept {
  const auto x = reinterpret_cast<uintptr_t>(a);
  const auto y = reinterpret_cast<uintptr_t>(b);
  return x < y + size && y < x + size;
}

// Room for one block: on the stack for the usual block lengths. It may hold
// ciphertext or keystream, so it is cleared when it goes.
class TBlockScratch {
 public:
  explicit TBlockScratch(size_t n) : FHeap(n > sizeof(FLocal) ? new uint8_t[n] : nullptr), FSize(n) {}
  ~TBlockScratch() { os::WipeMemory(Data(), FSize, 0); }
  TBlockScratch(const TBlockScratch&) = delete;
  TBlockScratch& operator=(const TBlockScratch&) = delete;
  uint8_t* Data() noexcept { return FHeap ? FHeap.get() : FLocal; }

 private:
  uint8_t FLocal[64];
  std::unique_ptr<uint8_t[]> FHeap;
  size_t FSize;
};

// Moves bytes 1 to n-1 of F to 0 to n-2 and puts `last` at n-1.
inline void ShiftIn(uint8_t* f, size_t n, uint8_t last) noexcept {
  std::memmove(f, f + 1, n - 1);
  f[n - 1] = last;
}

}  // namespace

void TCipher::EncodeBuffer(const void* source, void* dest, int32_t dataSize) {
  CheckInitialized();
  CodeData(source, dest, dataSize, true);
}

void TCipher::DecodeBuffer(const void* source, void* dest, int32_t dataSize) {
  CheckInitialized();
  CodeData(source, dest, dataSize, false);
}

void TCipher::CodeData(const void* source, void* dest, int32_t dataSize, bool encode) {
  if (dataSize <= 0 || FBlockLen <= 0) return;
  const auto* src = static_cast<const uint8_t*>(source);
  if (IsMACMode()) {
    // The MAC modes never write: decoding runs the encoding.
    EncodeMAC(src, dataSize);
    return;
  }
  auto* dst = static_cast<uint8_t*>(dest);
  const auto size = static_cast<size_t>(dataSize);
  if (src != dst && Overlap(src, dst, size)) {
    // Partly overlapping buffers: the data moves to dest and is coded there.
    std::memmove(dst, src, size);
    src = dst;
  }
  if (encode) {
    EncodeModes(src, dst, dataSize);
  } else {
    DecodeModes(src, dst, dataSize);
  }
}

// The tail of cmCTS and cmCBC, alike in both directions: W := E(F); the r
// bytes are XORed with W; F := F xor W.
void TCipher::CodeTail(const uint8_t* source, uint8_t* dest, int32_t size) {
  const auto n = static_cast<size_t>(FBlockLen);
  uint8_t* f = FFeedbackBlock.get();
  uint8_t* w = FWorkBlock.get();
  std::memcpy(w, f, n);
  Encode(w);
  XORBuffers(source, w, size, dest);
  XORBuffers(f, w, FBlockLen, f);
}

// The tail of cmECB, alike in both directions (so decoding does not restore
// it): the bytes overwrite the start of W, W := E(W), and the start of W
// replaces them.
void TCipher::ECBTail(uint8_t* data, int32_t size) {
  uint8_t* w = FWorkBlock.get();
  std::memcpy(w, data, static_cast<size_t>(size));
  Encode(w);
  std::memcpy(data, w, static_cast<size_t>(size));
}

void TCipher::EncodeModes(const uint8_t* src, uint8_t* dst, int32_t dataSize) {
  const auto n = static_cast<size_t>(FBlockLen);
  const size_t size = static_cast<size_t>(dataSize);
  const size_t blocks = size / n;
  const size_t whole = blocks * n;
  const auto tail = static_cast<int32_t>(size - whole);
  uint8_t* f = FFeedbackBlock.get();
  uint8_t* w = FWorkBlock.get();

  switch (FCipherMode) {
    case cmCTS:
      if (blocks > 0) EncodeCTSBlocks(src, dst, blocks);
      if (tail > 0) CodeTail(src + whole, dst + whole, tail);
      break;

    case cmCBC:
      // F := E(X xor F) is the output block and the next chaining value.
      for (size_t i = 0; i < whole; i += n) {
        XORBuffers(src + i, f, FBlockLen, f);
        Encode(f);
        std::memcpy(dst + i, f, n);
      }
      if (tail > 0) CodeTail(src + whole, dst + whole, tail);
      break;

    case cmCFB:
      for (size_t i = 0; i < size; ++i) {
        std::memcpy(w, f, n);
        Encode(w);
        const auto y = static_cast<uint8_t>(src[i] ^ w[0]);
        dst[i] = y;
        ShiftIn(f, n, y);
      }
      break;

    case cmOFB:
      for (size_t i = 0; i < size; ++i) {
        std::memcpy(w, f, n);
        Encode(w);
        dst[i] = static_cast<uint8_t>(src[i] ^ w[0]);
        ShiftIn(f, n, w[0]);
      }
      break;

    case cmECB:
      if (blocks > 0) EncodeECBBlocks(src, dst, blocks);
      if (tail > 0) {
        if (src != dst) std::memcpy(dst + whole, src + whole, static_cast<size_t>(tail));
        ECBTail(dst + whole, tail);
      }
      break;

    default:
      break;
  }
}

void TCipher::DecodeModes(const uint8_t* src, uint8_t* dst, int32_t dataSize) {
  const auto n = static_cast<size_t>(FBlockLen);
  const size_t size = static_cast<size_t>(dataSize);
  const size_t blocks = size / n;
  const size_t whole = blocks * n;
  const auto tail = static_cast<int32_t>(size - whole);
  uint8_t* f = FFeedbackBlock.get();
  uint8_t* w = FWorkBlock.get();

  switch (FCipherMode) {
    case cmCTS:
      if (blocks > 0) {
        // W ends as if F and W had taken turns as the chaining buffer: the
        // final chaining value after an odd number of blocks, the one before
        // the last block (F xor the last ciphertext block) after an even
        // number. The last ciphertext block waits in W meanwhile.
        std::memcpy(w, src + whole - n, n);
        DecodeCTSBlocks(src, dst, blocks);
        if (blocks % 2 == 1) {
          std::memcpy(w, f, n);
        } else {
          XORBuffers(w, f, FBlockLen, w);
        }
      }
      if (tail > 0) CodeTail(src + whole, dst + whole, tail);
      break;

    case cmCBC: {
      // F and W take turns: each receives the ciphertext block that becomes
      // the next chaining value.
      uint8_t* current = f;
      uint8_t* other = w;
      for (size_t i = 0; i < whole; i += n) {
        std::memcpy(other, src + i, n);
        if (src != dst) std::memcpy(dst + i, src + i, n);
        Decode(dst + i);
        XORBuffers(dst + i, current, FBlockLen, dst + i);
        std::swap(current, other);
      }
      if (current != f) std::memcpy(f, current, n);
      if (tail > 0) CodeTail(src + whole, dst + whole, tail);
      break;
    }

    case cmCFB:
      for (size_t i = 0; i < size; ++i) {
        std::memcpy(w, f, n);
        Encode(w);
        const uint8_t y = src[i];
        ShiftIn(f, n, y);
        dst[i] = static_cast<uint8_t>(y ^ w[0]);
      }
      break;

    case cmOFB:
      EncodeModes(src, dst, dataSize);
      break;

    case cmECB:
      if (blocks > 0) DecodeECBBlocks(src, dst, blocks);
      if (tail > 0) {
        if (src != dst) std::memcpy(dst + whole, src + whole, static_cast<size_t>(tail));
        ECBTail(dst + whole, tail);
      }
      break;

    default:
      break;
  }
}

// The MAC modes advance F (and W) only.
void TCipher::EncodeMAC(const uint8_t* src, int32_t dataSize) {
  const auto n = static_cast<size_t>(FBlockLen);
  const size_t size = static_cast<size_t>(dataSize);
  const size_t whole = size / n * n;
  uint8_t* f = FFeedbackBlock.get();
  uint8_t* w = FWorkBlock.get();

  switch (FCipherMode) {
    case cmCTSMAC:
    case cmCBCMAC:
      for (size_t i = 0; i < whole; i += n) {
        XORBuffers(src + i, f, FBlockLen, w);
        Encode(w);
        if (FCipherMode == cmCTSMAC) {
          XORBuffers(f, w, FBlockLen, f);
        } else {
          std::memcpy(f, w, n);
        }
      }
      if (whole < size) {
        // Only the presence of a tail counts, not its bytes.
        std::memcpy(w, f, n);
        Encode(w);
        XORBuffers(f, w, FBlockLen, f);
      }
      break;

    case cmCFBMAC:
      for (size_t i = 0; i < size; ++i) {
        std::memcpy(w, f, n);
        Encode(w);
        ShiftIn(f, n, static_cast<uint8_t>(src[i] ^ w[0]));
      }
      break;

    default:
      break;
  }
}

// ------------------------------------------------------------ bulk hooks

void TCipher::EncodeECBBlocks(const uint8_t* source, uint8_t* dest, size_t blocks) {
  const auto n = static_cast<size_t>(FBlockLen);
  if (source != dest) std::memcpy(dest, source, blocks * n);
  for (size_t i = 0; i < blocks; ++i) Encode(dest + i * n);
}

void TCipher::DecodeECBBlocks(const uint8_t* source, uint8_t* dest, size_t blocks) {
  const auto n = static_cast<size_t>(FBlockLen);
  if (source != dest) std::memcpy(dest, source, blocks * n);
  for (size_t i = 0; i < blocks; ++i) Decode(dest + i * n);
}

void TCipher::EncodeCTSBlocks(const uint8_t* source, uint8_t* dest, size_t blocks) {
  const auto n = static_cast<size_t>(FBlockLen);
  uint8_t* f = FFeedbackBlock.get();
  for (size_t i = 0; i < blocks * n; i += n) {
    XORBuffers(source + i, f, FBlockLen, dest + i);
    Encode(dest + i);
    XORBuffers(f, dest + i, FBlockLen, f);
  }
}

void TCipher::DecodeCTSBlocks(const uint8_t* source, uint8_t* dest, size_t blocks) {
  const auto n = static_cast<size_t>(FBlockLen);
  uint8_t* f = FFeedbackBlock.get();
  TBlockScratch y(n);
  for (size_t i = 0; i < blocks * n; i += n) {
    std::memcpy(y.Data(), source + i, n);
    if (source != dest) std::memcpy(dest + i, source + i, n);
    Decode(dest + i);
    XORBuffers(dest + i, f, FBlockLen, dest + i);
    XORBuffers(f, y.Data(), FBlockLen, f);
  }
}

}  // namespace limpet

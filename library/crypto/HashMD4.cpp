// THash_MD4: MD4 (RFC 1320) on the compression core.
#include <bit>
#include <cstring>

#include "CipherPrivate.h"
#include "LQCipher.h"
#include "MD4Core.h"

namespace limpet {

namespace {

using TMD4Descriptor = TProtectionClassOf<THash_MD4, THashClass_MD4>;

// MD4 of the first 32 bytes of the shared test vector.
constexpr uint8_t kMD4TestVector[16] = {0x25, 0xEA, 0xBF, 0xCC, 0x8C, 0xC9, 0x6F, 0xD9,
                                        0x2D, 0xCF, 0x7E, 0xBD, 0x7F, 0x87, 0x7C, 0x7C};

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

// The state words are held little-endian (their bytes are the digest); the
// core works on native words.
inline uint32_t ToLE(uint32_t v) noexcept {
  if constexpr (kLittleEndian) {
    return v;
  } else {
    return __builtin_bswap32(v);
  }
}

}  // namespace

LIMPET_DEFINE_CLASS_AS(THash_MD4, THash, THashClass, TMD4Descriptor)

int32_t THashClass_MD4::DigestKeySize() const { return static_cast<int32_t>(md4::kDigestSize); }

const uint8_t* THashClass_MD4::TestVector() const { return kMD4TestVector; }

THash_MD4::THash_MD4(TProtection* link) : THash(link) {
  std::memset(FBlock, 0, sizeof(FBlock));
  for (int i = 0; i < 4; ++i) FState[i] = ToLE(md4::kInitState[i]);
}

THash_MD4::~THash_MD4() {
  os::WipeMemory(FState, sizeof(FState), 0);
  os::WipeMemory(FBlock, sizeof(FBlock), 0);
  os::WipeMemory(&FByteCount, sizeof(FByteCount), 0);
}

void THash_MD4::Init() {
  std::memset(FBlock, 0, sizeof(FBlock));
  for (int i = 0; i < 4; ++i) FState[i] = ToLE(md4::kInitState[i]);
  FByteCount = 0;
  Protect(true);
}

void THash_MD4::TransformBlocks(const uint8_t* data, size_t count) {
  if constexpr (kLittleEndian) {
    md4::Transform(FState, data, count);
  } else {
    uint32_t state[4];
    for (int i = 0; i < 4; ++i) state[i] = ToLE(FState[i]);
    md4::Transform(state, data, count);
    for (int i = 0; i < 4; ++i) FState[i] = ToLE(state[i]);
  }
}

void THash_MD4::Transform(const uint8_t* block) { THash_MD4::TransformBlocks(block, 1); }

void THash_MD4::Calc(const void* data, int32_t size) {
  if (size <= 0) return;
  const auto* p = static_cast<const uint8_t*>(data);
  size_t rest = static_cast<size_t>(size);
  const size_t index = static_cast<size_t>(FByteCount % md4::kBlockSize);
  FByteCount += rest;
  if (index != 0) {
    const size_t fill = md4::kBlockSize - index;
    if (rest < fill) {
      std::memcpy(FBlock + index, p, rest);
      return;
    }
    std::memcpy(FBlock + index, p, fill);
    Transform(FBlock);
    p += fill;
    rest -= fill;
  }
  // Whole blocks straight from the caller's memory.
  const size_t blocks = rest / md4::kBlockSize;
  if (blocks > 0) {
    TransformBlocks(p, blocks);
    p += blocks * md4::kBlockSize;
    rest -= blocks * md4::kBlockSize;
  }
  if (rest > 0) std::memcpy(FBlock, p, rest);
}

void THash_MD4::Done() {
  size_t index = static_cast<size_t>(FByteCount % md4::kBlockSize);
  FBlock[index] = 0x80;
  size_t j = index + 1;
  if (j > md4::kBlockSize - 8) {
    std::memset(FBlock + j, 0, md4::kBlockSize - j);
    Transform(FBlock);
    j = 0;
  }
  std::memset(FBlock + j, 0, md4::kBlockSize - j);
  const uint64_t bits = FByteCount * 8;
  for (int i = 0; i < 8; ++i) FBlock[56 + i] = static_cast<uint8_t>(bits >> (8 * i));
  Transform(FBlock);
  os::WipeMemory(FBlock, sizeof(FBlock), 0);
  Protect(false);
}

uint8_t* THash_MD4::DigestKey() { return reinterpret_cast<uint8_t*>(FState); }

}  // namespace limpet

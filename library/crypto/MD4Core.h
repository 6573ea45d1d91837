// The MD4 compression function (RFC 1320) and a one-shot digest on top of
// it. Internal: THash_MD4 feeds its blocks through Transform, key
// derivation and tests use Digest.
#pragma once

#include <cstddef>
#include <cstdint>

namespace limpet::md4 {

inline constexpr size_t kBlockSize = 64;
inline constexpr size_t kDigestSize = 16;

// The chaining value every message starts from: A, B, C, D.
inline constexpr uint32_t kInitState[4] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u};

// Compresses `blocks` consecutive 64-byte blocks at `data` (any alignment;
// the words are little-endian) into the chaining value `state`.
void Transform(uint32_t state[4], const uint8_t* data, size_t blocks) noexcept;

// The 16-byte MD4 digest of `size` bytes at `data`: the four state words,
// each little-endian, A first. `data` may be null when `size` is 0.
void Digest(const uint8_t* data, size_t size, uint8_t out[16]) noexcept;

}  // namespace limpet::md4

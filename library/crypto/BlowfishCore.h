// The Blowfish block cipher (64-bit block, 16 rounds, keys of 1 to 56
// bytes) as plain routines over a key schedule: the single-block operations,
// the published key schedule, and bulk loops for the chaining that the
// cipher classes use most. Internal: TCipher_Blowfish keeps a TContext as
// its context area and calls these.
//
// A block is two 32-bit halves, each big-endian: L = bytes 0 to 3 (byte 0
// most significant), R = bytes 4 to 7.
#pragma once

#include <cstddef>
#include <cstdint>

namespace limpet::blowfish {

inline constexpr size_t kBlockSize = 8;
inline constexpr int32_t kMaxKeySize = 56;

// The key schedule, laid out as the cipher's context area: S-boxes 0 to 3,
// then P[0] to P[17], words in the machine's byte order.
struct TContext {
  uint32_t S[4][256];
  uint32_t P[18];
};
static_assert(sizeof(TContext) == 4168, "the context area is 4168 bytes");
static_assert(offsetof(TContext, P) == 4096, "the P-array follows the S-boxes");

// The initial P-array and S-boxes: the fractional part of pi in hexadecimal.
extern const uint32_t kInitP[18];
extern const uint32_t kInitS[4][256];

// Builds the schedule for `size` key bytes (1 to 56), used cyclically: the
// initial tables, the key XORed into the P-array, then 521 encryptions of a
// running block that replace P and the S-boxes pair by pair. A size above 56
// uses the first 56 bytes; a size of 0 or less mixes in no key (the tables
// are still replaced by the 521 encryptions).
void KeySchedule(TContext& ctx, const uint8_t* key, int32_t size) noexcept;

// One block in place.
void EncryptBlock(const TContext& ctx, uint8_t block[8]) noexcept;
void DecryptBlock(const TContext& ctx, uint8_t block[8]) noexcept;

// `blocks` consecutive blocks in place, each on its own.
void EncryptECB(const TContext& ctx, uint8_t* data, size_t blocks) noexcept;
void DecryptECB(const TContext& ctx, uint8_t* data, size_t blocks) noexcept;

// Block chaining with a feedback block F that accumulates the ciphertext:
//   encrypt, for each block X:  Y = E(X xor F); write Y; F = F xor Y
//   decrypt, for each block Y:  X = D(Y) xor F; write X; F = F xor Y
// `feedback` holds F on entry and receives the final F. `src` and `dst` are
// the same buffer or do not overlap.
void EncryptCTS(const TContext& ctx, uint8_t feedback[8], const uint8_t* src, uint8_t* dst,
                size_t blocks) noexcept;
void DecryptCTS(const TContext& ctx, uint8_t feedback[8], const uint8_t* src, uint8_t* dst,
                size_t blocks) noexcept;

}  // namespace limpet::blowfish

#include "MD4Core.h"

#include <bit>
#include <cstring>

#include "LQOS.h"

namespace limpet::md4 {

namespace {

inline uint32_t LoadLE(const uint8_t* p) noexcept {
  uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return v;
}

inline void StoreLE(uint8_t* p, uint32_t v) noexcept {
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  std::memcpy(p, &v, 4);
}

inline uint32_t Rotl(uint32_t x, int n) noexcept { return (x << n) | (x >> (32 - n)); }

// Compilers reassociate sums freely; this keeps a partial sum as computed,
// so that the order chosen below survives optimisation.
#if defined(__GNUC__) || defined(__clang__)
#define LIMPET_MD4_KEEP(v) __asm__("" : "+r"(v))
#else
#define LIMPET_MD4_KEEP(v) (void)0
#endif

// The steps are written so that the path from the value computed by the
// previous step (always the second argument, b) to the new one is as short
// as possible: whatever depends only on the older values a, c, d, on the
// message word and on the constant is added first (t).
//   F(b, c, d) = (b & c) | (~b & d) = d ^ (b & (c ^ d))
//   G(b, c, d) = majority = (b & (c ^ d)) + (c & d): the two terms never
//                share a bit, so the OR is an addition and c & d joins t
//   H(b, c, d) = b ^ (c ^ d)
// The message words are read where they are used; x86 folds the load into
// the addition, which keeps the sixteen words out of the registers.
#define LIMPET_MD4_STEP(a, t, f, s) \
  do {                              \
    uint32_t t_ = (t);              \
    LIMPET_MD4_KEEP(t_);            \
    a = Rotl(t_ + (f), s);          \
  } while (false)
#define LIMPET_MD4_R1(a, b, c, d, k, s) LIMPET_MD4_STEP(a, (a) + LoadLE(data + 4 * (k)), (d) ^ ((b) & ((c) ^ (d))), s)
#define LIMPET_MD4_R2(a, b, c, d, k, s) \
  LIMPET_MD4_STEP(a, (a) + LoadLE(data + 4 * (k)) + 0x5A827999u + ((c) & (d)), (b) & ((c) ^ (d)), s)
#define LIMPET_MD4_R3(a, b, c, d, k, s) \
  LIMPET_MD4_STEP(a, (a) + LoadLE(data + 4 * (k)) + 0x6ED9EBA1u, (b) ^ ((c) ^ (d)), s)

}  // namespace

void Transform(uint32_t state[4], const uint8_t* data, size_t blocks) noexcept {
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (; blocks > 0; --blocks, data += kBlockSize) {
    const uint32_t aa = a, bb = b, cc = c, dd = d;

    // Round 1.
    LIMPET_MD4_R1(a, b, c, d, 0, 3);
    LIMPET_MD4_R1(d, a, b, c, 1, 7);
    LIMPET_MD4_R1(c, d, a, b, 2, 11);
    LIMPET_MD4_R1(b, c, d, a, 3, 19);
    LIMPET_MD4_R1(a, b, c, d, 4, 3);
    LIMPET_MD4_R1(d, a, b, c, 5, 7);
    LIMPET_MD4_R1(c, d, a, b, 6, 11);
    LIMPET_MD4_R1(b, c, d, a, 7, 19);
    LIMPET_MD4_R1(a, b, c, d, 8, 3);
    LIMPET_MD4_R1(d, a, b, c, 9, 7);
    LIMPET_MD4_R1(c, d, a, b, 10, 11);
    LIMPET_MD4_R1(b, c, d, a, 11, 19);
    LIMPET_MD4_R1(a, b, c, d, 12, 3);
    LIMPET_MD4_R1(d, a, b, c, 13, 7);
    LIMPET_MD4_R1(c, d, a, b, 14, 11);
    LIMPET_MD4_R1(b, c, d, a, 15, 19);

    // Round 2.
    LIMPET_MD4_R2(a, b, c, d, 0, 3);
    LIMPET_MD4_R2(d, a, b, c, 4, 5);
    LIMPET_MD4_R2(c, d, a, b, 8, 9);
    LIMPET_MD4_R2(b, c, d, a, 12, 13);
    LIMPET_MD4_R2(a, b, c, d, 1, 3);
    LIMPET_MD4_R2(d, a, b, c, 5, 5);
    LIMPET_MD4_R2(c, d, a, b, 9, 9);
    LIMPET_MD4_R2(b, c, d, a, 13, 13);
    LIMPET_MD4_R2(a, b, c, d, 2, 3);
    LIMPET_MD4_R2(d, a, b, c, 6, 5);
    LIMPET_MD4_R2(c, d, a, b, 10, 9);
    LIMPET_MD4_R2(b, c, d, a, 14, 13);
    LIMPET_MD4_R2(a, b, c, d, 3, 3);
    LIMPET_MD4_R2(d, a, b, c, 7, 5);
    LIMPET_MD4_R2(c, d, a, b, 11, 9);
    LIMPET_MD4_R2(b, c, d, a, 15, 13);

    // Round 3.
    LIMPET_MD4_R3(a, b, c, d, 0, 3);
    LIMPET_MD4_R3(d, a, b, c, 8, 9);
    LIMPET_MD4_R3(c, d, a, b, 4, 11);
    LIMPET_MD4_R3(b, c, d, a, 12, 15);
    LIMPET_MD4_R3(a, b, c, d, 2, 3);
    LIMPET_MD4_R3(d, a, b, c, 10, 9);
    LIMPET_MD4_R3(c, d, a, b, 6, 11);
    LIMPET_MD4_R3(b, c, d, a, 14, 15);
    LIMPET_MD4_R3(a, b, c, d, 1, 3);
    LIMPET_MD4_R3(d, a, b, c, 9, 9);
    LIMPET_MD4_R3(c, d, a, b, 5, 11);
    LIMPET_MD4_R3(b, c, d, a, 13, 15);
    LIMPET_MD4_R3(a, b, c, d, 3, 3);
    LIMPET_MD4_R3(d, a, b, c, 11, 9);
    LIMPET_MD4_R3(c, d, a, b, 7, 11);
    LIMPET_MD4_R3(b, c, d, a, 15, 15);

    a += aa;
    b += bb;
    c += cc;
    d += dd;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

#undef LIMPET_MD4_KEEP
#undef LIMPET_MD4_STEP
#undef LIMPET_MD4_R1
#undef LIMPET_MD4_R2
#undef LIMPET_MD4_R3

void Digest(const uint8_t* data, size_t size, uint8_t out[16]) noexcept {
  uint32_t state[4] = {kInitState[0], kInitState[1], kInitState[2], kInitState[3]};
  const size_t whole = size / kBlockSize;
  if (whole > 0) Transform(state, data, whole);

  // The final one or two blocks: the rest of the message, the byte 0x80,
  // zero bytes and the message length in bits, 64-bit little-endian.
  uint8_t last[2 * kBlockSize] = {};
  const size_t rest = size - whole * kBlockSize;
  if (rest > 0) std::memcpy(last, data + whole * kBlockSize, rest);
  last[rest] = 0x80;
  const size_t tail = rest < kBlockSize - 8 ? kBlockSize : 2 * kBlockSize;
  const uint64_t bits = static_cast<uint64_t>(size) << 3;
  StoreLE(last + tail - 8, static_cast<uint32_t>(bits));
  StoreLE(last + tail - 4, static_cast<uint32_t>(bits >> 32));
  Transform(state, last, tail / kBlockSize);

  for (int i = 0; i < 4; ++i) StoreLE(out + 4 * i, state[i]);
  // The message may be a password: leave none of it behind on the stack.
  os::WipeMemory(last, sizeof(last), 0);
  os::WipeMemory(state, sizeof(state), 0);
}

}  // namespace limpet::md4

#include "BlowfishCore.h"

#include <bit>
#include <cstring>

// The round functions must be inlined into the loops for the halves to stay
// in registers.
#if defined(__GNUC__) || defined(__clang__)
#define LIMPET_BF_INLINE inline __attribute__((always_inline))
#else
#define LIMPET_BF_INLINE inline
#endif

namespace limpet::blowfish {

namespace {

LIMPET_BF_INLINE uint32_t LoadBE(const uint8_t* p) noexcept {
  uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap32(v);
  return v;
}

LIMPET_BF_INLINE void StoreBE(uint8_t* p, uint32_t v) noexcept {
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap32(v);
  std::memcpy(p, &v, 4);
}

// F(x) = ((S0[a] + S1[b]) xor S2[c]) + S3[d], a the most significant byte.
#define LIMPET_BF_F(S, x) \
  ((((S)[0][(x) >> 24] + (S)[1][((x) >> 16) & 0xFF]) ^ (S)[2][((x) >> 8) & 0xFF]) + (S)[3][(x) & 0xFF])

// One round without the exchange of the halves: y takes the F of x and the
// next P word. The P word is XORed first, off the path through F.
#define LIMPET_BF_ROUND(S, x, y, p) y = ((y) ^ (p)) ^ LIMPET_BF_F(S, x)

// Encrypts or decrypts N independent blocks given as their halves. The 16
// rounds are written out; with N > 1 the rounds of the blocks are
// interleaved so that their table look-ups overlap (a single block is one
// long chain of dependent look-ups). Encryption walks P upwards, decryption
// downwards; the halves change roles from round to round instead of being
// exchanged.
template <bool Decrypt, int N>
LIMPET_BF_INLINE void Crypt(const TContext& c, uint32_t (&L)[N], uint32_t (&R)[N]) noexcept {
  const uint32_t(&S)[4][256] = c.S;
  const uint32_t* P = c.P;
  constexpr int k0 = Decrypt ? 17 : 0;
  constexpr int d = Decrypt ? -1 : 1;
  uint32_t l[N], r[N];
  uint32_t p = P[k0];
#pragma GCC unroll 16
  for (int i = 0; i < N; ++i) {
    l[i] = L[i] ^ p;
    r[i] = R[i];
  }
#pragma GCC unroll 16
  for (int k = 1; k < 17; k += 2) {
    p = P[k0 + k * d];
#pragma GCC unroll 16
    for (int i = 0; i < N; ++i) LIMPET_BF_ROUND(S, l[i], r[i], p);
    p = P[k0 + (k + 1) * d];
#pragma GCC unroll 16
    for (int i = 0; i < N; ++i) LIMPET_BF_ROUND(S, r[i], l[i], p);
  }
  p = P[k0 + 17 * d];
#pragma GCC unroll 16
  for (int i = 0; i < N; ++i) {
    L[i] = r[i] ^ p;
    R[i] = l[i];
  }
}

template <bool Decrypt>
LIMPET_BF_INLINE void Crypt1(const TContext& c, uint32_t& L, uint32_t& R) noexcept {
  uint32_t l[1] = {L}, r[1] = {R};
  Crypt<Decrypt, 1>(c, l, r);
  L = l[0];
  R = r[0];
}

// N consecutive blocks in place.
template <bool Decrypt, int N>
LIMPET_BF_INLINE void CryptECBGroup(const TContext& c, uint8_t* data) noexcept {
  uint32_t L[N], R[N];
#pragma GCC unroll 16
  for (int i = 0; i < N; ++i) {
    L[i] = LoadBE(data + 8 * i);
    R[i] = LoadBE(data + 8 * i + 4);
  }
  Crypt<Decrypt, N>(c, L, R);
#pragma GCC unroll 16
  for (int i = 0; i < N; ++i) {
    StoreBE(data + 8 * i, L[i]);
    StoreBE(data + 8 * i + 4, R[i]);
  }
}

template <bool Decrypt>
void CryptECB(const TContext& c, uint8_t* data, size_t blocks) noexcept {
  for (; blocks >= 8; blocks -= 8, data += 8 * kBlockSize) CryptECBGroup<Decrypt, 8>(c, data);
  if (blocks >= 4) {
    CryptECBGroup<Decrypt, 4>(c, data);
    blocks -= 4;
    data += 4 * kBlockSize;
  }
  for (; blocks > 0; --blocks, data += kBlockSize) CryptECBGroup<Decrypt, 1>(c, data);
}

// N consecutive blocks of chained decryption: X = D(Y) xor F; F = F xor Y.
// All N ciphertext blocks are read before the first result is written, so
// the source may be the destination.
template <int N>
LIMPET_BF_INLINE void DecryptCTSGroup(const TContext& c, uint32_t& FL, uint32_t& FR, const uint8_t* src,
                                      uint8_t* dst) noexcept {
  uint32_t YL[N], YR[N], L[N], R[N];
#pragma GCC unroll 16
  for (int i = 0; i < N; ++i) {
    L[i] = YL[i] = LoadBE(src + 8 * i);
    R[i] = YR[i] = LoadBE(src + 8 * i + 4);
  }
  Crypt<true, N>(c, L, R);
#pragma GCC unroll 16
  for (int i = 0; i < N; ++i) {
    StoreBE(dst + 8 * i, L[i] ^ FL);
    StoreBE(dst + 8 * i + 4, R[i] ^ FR);
    FL ^= YL[i];
    FR ^= YR[i];
  }
}

}  // namespace

void KeySchedule(TContext& ctx, const uint8_t* key, int32_t size) noexcept {
  std::memcpy(ctx.S, kInitS, sizeof(ctx.S));
  std::memcpy(ctx.P, kInitP, sizeof(ctx.P));
  if (size > kMaxKeySize) size = kMaxKeySize;
  if (size > 0 && key != nullptr) {
    // The key bytes taken cyclically, four to a big-endian word.
    int32_t j = 0;
    for (uint32_t& p : ctx.P) {
      uint32_t word = 0;
      for (int k = 0; k < 4; ++k) {
        word = (word << 8) | key[j];
        if (++j == size) j = 0;
      }
      p ^= word;
    }
  }
  // A running block, starting from zero, replaces P and then the S-boxes
  // two words at a time with its successive encryptions.
  uint32_t L = 0, R = 0;
  for (int i = 0; i < 18; i += 2) {
    Crypt1<false>(ctx, L, R);
    ctx.P[i] = L;
    ctx.P[i + 1] = R;
  }
  for (auto& box : ctx.S) {
    for (int i = 0; i < 256; i += 2) {
      Crypt1<false>(ctx, L, R);
      box[i] = L;
      box[i + 1] = R;
    }
  }
}

void EncryptBlock(const TContext& ctx, uint8_t block[8]) noexcept { CryptECBGroup<false, 1>(ctx, block); }

void DecryptBlock(const TContext& ctx, uint8_t block[8]) noexcept { CryptECBGroup<true, 1>(ctx, block); }

void EncryptECB(const TContext& ctx, uint8_t* data, size_t blocks) noexcept { CryptECB<false>(ctx, data, blocks); }

void DecryptECB(const TContext& ctx, uint8_t* data, size_t blocks) noexcept { CryptECB<true>(ctx, data, blocks); }

void EncryptCTS(const TContext& ctx, uint8_t feedback[8], const uint8_t* src, uint8_t* dst,
                size_t blocks) noexcept {
  // Each block depends on the previous one through F: strictly sequential.
  uint32_t FL = LoadBE(feedback), FR = LoadBE(feedback + 4);
  for (; blocks > 0; --blocks, src += kBlockSize, dst += kBlockSize) {
    uint32_t L = LoadBE(src) ^ FL, R = LoadBE(src + 4) ^ FR;
    Crypt1<false>(ctx, L, R);
    StoreBE(dst, L);
    StoreBE(dst + 4, R);
    FL ^= L;
    FR ^= R;
  }
  StoreBE(feedback, FL);
  StoreBE(feedback + 4, FR);
}

void DecryptCTS(const TContext& ctx, uint8_t feedback[8], const uint8_t* src, uint8_t* dst,
                size_t blocks) noexcept {
  // The decryptions do not depend on each other (F follows from the
  // ciphertext alone), so they run eight at a time.
  uint32_t FL = LoadBE(feedback), FR = LoadBE(feedback + 4);
  for (; blocks >= 8; blocks -= 8, src += 8 * kBlockSize, dst += 8 * kBlockSize)
    DecryptCTSGroup<8>(ctx, FL, FR, src, dst);
  if (blocks >= 4) {
    DecryptCTSGroup<4>(ctx, FL, FR, src, dst);
    blocks -= 4;
    src += 4 * kBlockSize;
    dst += 4 * kBlockSize;
  }
  for (; blocks > 0; --blocks, src += kBlockSize, dst += kBlockSize) DecryptCTSGroup<1>(ctx, FL, FR, src, dst);
  StoreBE(feedback, FL);
  StoreBE(feedback + 4, FR);
}

}  // namespace limpet::blowfish

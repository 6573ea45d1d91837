// CRC-16 (reflected polynomial 0xA001) and CRC-32 (reflected polynomial
// 0xEDB88320) as raw registers. The tables are generated at compile time.
// The portable path processes 16 bytes per step with sixteen tables (slicing);
// on x86 processors with carry-less multiplication, long buffers are folded
// 64 bytes per step and only the last 16 bytes and the tail go through the
// tables.
#include <array>
#include <bit>
#include <atomic>
#include <cstring>

#include "CipUtils.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define LIMPET_CRC_CLMUL 1
#endif

namespace limpet {

namespace {

// ------------------------------------------------------------ tables

// Slice k, entry b: the register after the byte b followed by k zero bytes,
// starting from 0.
template <class W>
constexpr std::array<std::array<W, 256>, 16> MakeSlices(W reflectedPoly) {
  std::array<std::array<W, 256>, 16> t{};
  for (uint32_t b = 0; b < 256; ++b) {
    W r = static_cast<W>(b);
    for (int bit = 0; bit < 8; ++bit) {
      r = static_cast<W>((r & 1) ? ((r >> 1) ^ reflectedPoly) : (r >> 1));
    }
    t[0][b] = r;
  }
  for (int k = 1; k < 16; ++k) {
    for (uint32_t b = 0; b < 256; ++b) {
      W prev = t[k - 1][b];
      t[k][b] = static_cast<W>((prev >> 8) ^ t[0][prev & 0xFF]);
    }
  }
  return t;
}

constexpr auto kCrc16 = MakeSlices<uint16_t>(0xA001);
constexpr auto kCrc32 = MakeSlices<uint32_t>(0xEDB88320u);

static_assert(kCrc16[0][1] == 0xC0C1 && kCrc16[0][128] == 0xA001 && kCrc16[0][255] == 0x4040);
static_assert(kCrc32[0][1] == 0x77073096u && kCrc32[0][255] == 0x2D02EF8Du);

// ------------------------------------------------------------ portable path

template <class W>
W CrcSliced(const std::array<std::array<W, 256>, 16>& t, W crc, const uint8_t* p, size_t n) noexcept {
  constexpr size_t kBytes = sizeof(W);
  while (n >= 16) {
    uint64_t lo, hi;
    std::memcpy(&lo, p, 8);
    std::memcpy(&hi, p + 8, 8);
    if constexpr (std::endian::native == std::endian::big) {
      lo = __builtin_bswap64(lo);
      hi = __builtin_bswap64(hi);
    }
    // The register enters as an XOR into the first bytes of the block.
    lo ^= crc;
    W r = static_cast<W>(t[15][lo & 0xFF] ^ t[14][(lo >> 8) & 0xFF] ^ t[13][(lo >> 16) & 0xFF] ^
                         t[12][(lo >> 24) & 0xFF] ^ t[11][(lo >> 32) & 0xFF] ^ t[10][(lo >> 40) & 0xFF] ^
                         t[9][(lo >> 48) & 0xFF] ^ t[8][lo >> 56] ^ t[7][hi & 0xFF] ^
                         t[6][(hi >> 8) & 0xFF] ^ t[5][(hi >> 16) & 0xFF] ^ t[4][(hi >> 24) & 0xFF] ^
                         t[3][(hi >> 32) & 0xFF] ^ t[2][(hi >> 40) & 0xFF] ^ t[1][(hi >> 48) & 0xFF] ^
                         t[0][hi >> 56]);
    static_assert(kBytes <= 8);
    crc = r;
    p += 16;
    n -= 16;
  }
  while (n-- > 0) crc = static_cast<W>((crc >> 8) ^ t[0][(crc ^ *p++) & 0xFF]);
  return crc;
}

// ------------------------------------------------------------ folding path

#ifdef LIMPET_CRC_CLMUL

// Polynomials in normal form (bit d is the coefficient of x^d) with the
// leading term.
constexpr uint64_t kPoly16 = 0x18005u;
constexpr uint64_t kPoly32 = 0x104C11DB7u;

// x^e mod P, degree below `width`.
constexpr uint64_t XPowMod(unsigned e, uint64_t poly, int width) {
  uint64_t r = 1;
  for (unsigned i = 0; i < e; ++i) {
    r <<= 1;
    if ((r >> width) & 1) r ^= poly;
  }
  return r;
}

// A polynomial of degree below 64 in the bit-reflected order of the data:
// the coefficient of x^d at bit 63 - d.
constexpr uint64_t Reflect64(uint64_t r) {
  uint64_t out = 0;
  for (int d = 0; d < 64; ++d) {
    if ((r >> d) & 1) out |= uint64_t{1} << (63 - d);
  }
  return out;
}

// A 128-bit lane holds 16 message bytes; its bit j is the coefficient of
// x^(127-j), so its low quadword holds the 64 high-order coefficients H and
// its high quadword the low-order ones L. Moving the lane D bits further
// along the message multiplies it by x^D:
//   H * x^(D+64) + L * x^D  ==  H * (x^(D+63) mod P) * x + L * (x^(D-1) mod P) * x
// and a carry-less product of two reflected 64-bit operands is the reflected
// 127-bit product, which in lane order is exactly that product times x.
struct TFoldConst {
  uint64_t High;  // multiplies the low quadword
  uint64_t Low;   // multiplies the high quadword
};

constexpr TFoldConst MakeFold(unsigned distanceBits, uint64_t poly, int width) {
  return {Reflect64(XPowMod(distanceBits + 63, poly, width)),
          Reflect64(XPowMod(distanceBits - 1, poly, width))};
}

struct TFoldSet {
  TFoldConst By512, By384, By256, By128;
};

constexpr TFoldSet MakeFoldSet(uint64_t poly, int width) {
  return {MakeFold(512, poly, width), MakeFold(384, poly, width), MakeFold(256, poly, width),
          MakeFold(128, poly, width)};
}

constexpr TFoldSet kFold16 = MakeFoldSet(kPoly16, 16);
constexpr TFoldSet kFold32 = MakeFoldSet(kPoly32, 32);

__attribute__((target("pclmul,sse2"))) inline __m128i Fold(__m128i x, __m128i k) {
  return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11));
}

__attribute__((target("pclmul,sse2"))) inline __m128i Consts(const TFoldConst& c) {
  return _mm_set_epi64x(static_cast<long long>(c.Low), static_cast<long long>(c.High));
}

// Folds all but the last (n mod 16) bytes into one lane and returns the
// register of the lane's 16 bytes followed by the tail. n >= 64.
template <class W>
__attribute__((target("pclmul,sse2"))) W CrcFolded(const TFoldSet& fs,
                                                   const std::array<std::array<W, 256>, 16>& t,
                                                   W crc, const uint8_t* p, size_t n) noexcept {
  auto load = [](const uint8_t* q) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q)); };
  // The start value enters as an XOR into the first bytes of the message;
  // everything after that is folded from a zero register.
  __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x1 = load(p + 16);
  __m128i x2 = load(p + 32);
  __m128i x3 = load(p + 48);
  p += 64;
  n -= 64;
  const __m128i k512 = Consts(fs.By512);
  while (n >= 64) {
    x0 = _mm_xor_si128(Fold(x0, k512), load(p));
    x1 = _mm_xor_si128(Fold(x1, k512), load(p + 16));
    x2 = _mm_xor_si128(Fold(x2, k512), load(p + 32));
    x3 = _mm_xor_si128(Fold(x3, k512), load(p + 48));
    p += 64;
    n -= 64;
  }
  const __m128i k128 = Consts(fs.By128);
  __m128i x = _mm_xor_si128(Fold(x0, Consts(fs.By384)), Fold(x1, Consts(fs.By256)));
  x = _mm_xor_si128(x, Fold(x2, k128));
  x = _mm_xor_si128(x, x3);
  while (n >= 16) {
    x = _mm_xor_si128(Fold(x, k128), load(p));
    p += 16;
    n -= 16;
  }
  uint8_t lane[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(lane), x);
  W r = CrcSliced<W>(t, 0, lane, 16);
  return CrcSliced<W>(t, r, p, n);
}

bool HaveClmul() noexcept {
  // -1 unknown, 0 no, 1 yes; a race only repeats the query.
  static std::atomic<int> state{-1};
  int s = state.load(std::memory_order_relaxed);
  if (s < 0) {
    __builtin_cpu_init();
    s = __builtin_cpu_supports("pclmul") ? 1 : 0;
    state.store(s, std::memory_order_relaxed);
  }
  return s == 1;
}

// Below this the tables are as fast as setting up the fold.
constexpr size_t kFoldThreshold = 128;

#endif  // LIMPET_CRC_CLMUL

}  // namespace

namespace detail {

uint16_t CRC16Portable(uint16_t crc, const void* data, uint32_t size) noexcept {
  if (data == nullptr || static_cast<int32_t>(size) <= 0) return crc;
  return CrcSliced<uint16_t>(kCrc16, crc, static_cast<const uint8_t*>(data), size);
}

uint32_t CRC32Portable(uint32_t crc, const void* data, uint32_t size) noexcept {
  if (data == nullptr || static_cast<int32_t>(size) <= 0) return crc;
  return CrcSliced<uint32_t>(kCrc32, crc, static_cast<const uint8_t*>(data), size);
}

}  // namespace detail

uint16_t CRC16(uint16_t crc, const void* data, uint32_t size) noexcept {
  if (data == nullptr || static_cast<int32_t>(size) <= 0) return crc;
  const auto* p = static_cast<const uint8_t*>(data);
#ifdef LIMPET_CRC_CLMUL
  if (size >= kFoldThreshold && HaveClmul()) return CrcFolded<uint16_t>(kFold16, kCrc16, crc, p, size);
#endif
  return CrcSliced<uint16_t>(kCrc16, crc, p, size);
}

uint32_t CRC32(uint32_t crc, const void* data, uint32_t size) noexcept {
  if (data == nullptr || static_cast<int32_t>(size) <= 0) return crc;
  const auto* p = static_cast<const uint8_t*>(data);
#ifdef LIMPET_CRC_CLMUL
  if (size >= kFoldThreshold && HaveClmul()) return CrcFolded<uint32_t>(kFold32, kCrc32, crc, p, size);
#endif
  return CrcSliced<uint32_t>(kCrc32, crc, p, size);
}

}  // namespace limpet

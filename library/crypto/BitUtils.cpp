// Bit queries, byte-order reversal, buffer helpers, progress dispatch,
// object checks and the time-seeded scrambler.
#include <cstring>

#include "CipUtils.h"
#include "CipUtilsPrivate.h"
#include "LQOS.h"

namespace limpet {

namespace detail {

uint32_t SwapIntegerBswap(uint32_t value) noexcept { return __builtin_bswap32(value); }

// Exchange the two low bytes, rotate by 16, exchange the two low bytes again.
uint32_t SwapIntegerRotate(uint32_t value) noexcept {
  auto xchgLow = [](uint32_t v) {
    return (v & 0xFFFF0000u) | ((v & 0xFFu) << 8) | ((v >> 8) & 0xFFu);
  };
  return xchgLow(ROL(xchgLow(value), 16));
}

namespace {

template <uint32_t (*Swap)(uint32_t) noexcept>
void SwapBuffer(const void* source, void* dest, int32_t count) noexcept {
  if (count <= 0 || source == nullptr || dest == nullptr) return;
  const auto* s = static_cast<const uint8_t*>(source);
  auto* d = static_cast<uint8_t*>(dest);
  for (int32_t i = count - 1; i >= 0; --i) {
    uint32_t w;
    std::memcpy(&w, s + static_cast<size_t>(i) * 4, 4);
    w = Swap(w);
    std::memcpy(d + static_cast<size_t>(i) * 4, &w, 4);
  }
}

}  // namespace

void SwapIntegerBufferBswap(const void* source, void* dest, int32_t count) noexcept {
  SwapBuffer<SwapIntegerBswap>(source, dest, count);
}

void SwapIntegerBufferRotate(const void* source, void* dest, int32_t count) noexcept {
  SwapBuffer<SwapIntegerRotate>(source, dest, count);
}

}  // namespace detail

// ------------------------------------------------------------ variables

TProgressEvent Progress;
// Usable before start-up chooses: both implementations give the same results.
TSwapIntegerFunc SwapInteger = &detail::SwapIntegerBswap;
TSwapIntegerBufferFunc SwapIntegerBuffer = &detail::SwapIntegerBufferBswap;
bool InitTestIsOk = false;
uint16_t IdentityBase = 0x1234;

namespace {

int32_t gCPUType = 0;

constexpr uint8_t kTestVector[40] = {
    0x30, 0x44, 0xED, 0x6E, 0x45, 0xA4, 0x96, 0xF5, 0xF6, 0x35, 0xA2, 0xEB, 0x3D, 0x1A,
    0x5D, 0xD6, 0xCB, 0x1D, 0x09, 0x82, 0x2D, 0xBD, 0xF5, 0x60, 0xC2, 0xB8, 0x58, 0xA1,
    0x91, 0xF9, 0x81, 0xB1, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

}  // namespace

namespace cip_internal {
void SetCPUType(int32_t family) noexcept { gCPUType = family; }
}  // namespace cip_internal

int32_t CPUType() noexcept { return gCPUType; }

const uint8_t* GetTestVector() noexcept { return kTestVector; }

// ------------------------------------------------------------ objects

bool IsObject(const void* p, const TClass* cls) noexcept {
  if (p == nullptr || cls == nullptr) return false;
  return IsLiveObject(p, cls);
}

std::string GetShortClassName(const TClass* cls) {
  if (cls == nullptr) return std::string();
  std::string name = cls->ClassName();
  size_t underscore = name.find('_');
  if (underscore == std::string::npos) return name;
  return name.substr(underscore + 1);
}

void DoProgress(TObject* sender, int32_t current, int32_t maximal) {
  if (!Progress) return;
  const TObject* bound = Progress.Object();
  if (bound != nullptr && !IsObject(bound, TObject::Class())) return;
  Progress(sender, current, maximal);
}

// ------------------------------------------------------------ bits

uint32_t SwapBits(uint32_t value) noexcept {
  uint32_t v = SwapInteger(value);
  v = ((v & 0xAAAAAAAAu) >> 1) | ((v & 0x55555555u) << 1);
  v = ((v & 0xCCCCCCCCu) >> 2) | ((v & 0x33333333u) << 2);
  v = ((v & 0xF0F0F0F0u) >> 4) | ((v & 0x0F0F0F0Fu) << 4);
  return v;
}

int32_t LSBit(int32_t value) noexcept {
  if (value == 0) return 0;
  return std::countr_zero(static_cast<uint32_t>(value));
}

int32_t MSBit(int32_t value) noexcept {
  if (value == 0) return 0;
  return 31 - std::countl_zero(static_cast<uint32_t>(value));
}

int32_t OneBit(int32_t value) noexcept {
  auto v = static_cast<uint32_t>(value);
  if (!std::has_single_bit(v)) return 0;
  return std::countr_zero(v);
}

// ------------------------------------------------------------ buffers

int32_t MemCompare(const void* p1, const void* p2, int32_t size) noexcept {
  if (size <= 0 || p1 == p2) return 0;
  const auto* a = static_cast<const uint8_t*>(p1);
  const auto* b = static_cast<const uint8_t*>(p2);
  for (int32_t i = 0; i < size; ++i) {
    if (a[i] != b[i]) return static_cast<int32_t>(a[i]) - static_cast<int32_t>(b[i]);
  }
  return 0;
}

// From the end backwards: the odd bytes first, highest index first, then
// 32-bit words towards the start.
void XORBuffers(const void* i1, const void* i2, int32_t size, void* dest) noexcept {
  if (size <= 0) return;
  const auto* a = static_cast<const uint8_t*>(i1);
  const auto* b = static_cast<const uint8_t*>(i2);
  auto* d = static_cast<uint8_t*>(dest);
  int32_t i = size;
  for (int32_t tail = size & 3; tail > 0; --tail) {
    --i;
    d[i] = static_cast<uint8_t>(a[i] ^ b[i]);
  }
  while (i > 0) {
    i -= 4;
    uint32_t x, y;
    std::memcpy(&x, a + i, 4);
    std::memcpy(&y, b + i, 4);
    x ^= y;
    std::memcpy(d + i, &x, 4);
  }
}

// ------------------------------------------------------------ scrambler

void RndXORBuffer(int32_t seed, void* buffer, int32_t size) noexcept {
  if (buffer == nullptr || size <= 0) return;
  auto* p = static_cast<uint8_t*>(buffer);
  uint32_t s = static_cast<uint32_t>(seed);
  for (int32_t i = 0; i < size; ++i) {
    s = (s ^ p[i]) * 134775813u + 1u;
    p[i] = static_cast<uint8_t>(s >> 24);
  }
}

int32_t RndTimeSeed() noexcept {
  uint32_t ms = os::UtcMillisecondsOfDay();
  uint64_t counter = os::PerformanceCounter();
  uint32_t seed = ms ^ static_cast<uint32_t>(counter) ^ static_cast<uint32_t>(counter >> 32);
  return static_cast<int32_t>(seed);
}

}  // namespace limpet

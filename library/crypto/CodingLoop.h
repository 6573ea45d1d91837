// The chunked loop shared by the stream drivers of the coding objects (the
// protection chain, the hashes and the ciphers).
#pragma once

#include <algorithm>
#include <climits>
#include <cstdint>

#include "CipUtils.h"
#include "LQOS.h"
#include "LQStreams.h"

namespace limpet::coding_internal {

// Size of the work buffer of the stream drivers.
inline constexpr int32_t kChunkSize = 4096;

// Progress counts are 32-bit: totals beyond that are reported scaled down
// by a power of two, so that the ratio current/maximal stays right.
inline void ReportProgress(TObject* sender, int64_t current, int64_t maximal) {
  while (maximal > INT32_MAX) {
    maximal >>= 1;
    current >>= 1;
  }
  DoProgress(sender, static_cast<int32_t>(current), static_cast<int32_t>(maximal));
}

// The work buffer of the stream drivers: it holds plain data, so it is
// cleared before its memory goes.
struct TChunkBuffer {
  uint8_t Data[kChunkSize] = {};
  ~TChunkBuffer() { os::WipeMemory(Data, sizeof(Data), 0); }
};

// Codes up to `size` bytes of `source`, from its current position, in chunks
// of kChunkSize through `code(data, count)`, reporting (done, size) after
// each chunk with `sender`. A read of 0 or less ends the loop. Without a
// destination the data is only read. With one, both streams are positioned
// before every access and each coded chunk is written at the running write
// position, so that source and destination may be one stream (each chunk is
// written back where it was read).
template <class TCode>
void CodeChunks(TObject* sender, TStream& source, TStream* dest, int64_t size, TChunkBuffer& buffer,
                TCode&& code) {
  uint8_t* data = buffer.Data;
  const int64_t total = size;
  int64_t remaining = size;
  int64_t readPos = source.Position();
  int64_t writePos = dest != nullptr ? dest->Position() : 0;
  while (remaining > 0) {
    if (dest != nullptr) source.SetPosition(readPos);
    const int32_t count = source.Read(data, static_cast<int32_t>(std::min<int64_t>(remaining, kChunkSize)));
    if (dest != nullptr) readPos = source.Position();
    if (count <= 0) break;
    code(data, count);
    if (dest != nullptr) {
      dest->SetPosition(writePos);
      dest->WriteBuffer(data, count);
      writePos = dest->Position();
    }
    remaining -= count;
    ReportProgress(sender, total - remaining, total);
  }
}

}  // namespace limpet::coding_internal

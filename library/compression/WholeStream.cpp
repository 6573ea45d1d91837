// Whole-stream compression: CompressStream and DecompressStream replace a
// stream's content by its compressed or decompressed form.
#include <algorithm>
#include <cstring>
#include <memory>
#include <typeinfo>

#include "LQComp.h"
#include "LQUtils.h"

namespace limpet {

namespace {

constexpr int32_t kBlock = 65536;

// Replaces stream's content by temp's as CopyStream does: stream ends up
// holding only that content, at position 0. A plain memory stream takes
// temp's memory over instead of copying it (a derived class may have its own
// idea of writing, so it gets the copy).
void ReplaceContent(TMemoryStream& temp, TStream& stream) {
  if (typeid(stream) == typeid(TMemoryStream)) {
    auto& mem = static_cast<TMemoryStream&>(stream);
    temp.SetCapacity(temp.Size());
    mem.Swap(temp);
    mem.SetPosition(0);
    return;
  }
  CopyStream(temp, stream);
}

}  // namespace

void CompressStream(TCompressLevel level, TStream& stream) {
  TMemoryStream temp;
  auto zip = std::make_unique<TCompressionStream>(level, temp);
  const int64_t total = stream.Size();
  stream.SetPosition(0);
  // Room for the worst case up front: no reallocation while zlib writes.
  temp.SetCapacity(static_cast<int64_t>(compressBound(static_cast<uLong>(total))));

  const int64_t blocks = total / kBlock;
  const int32_t rest = static_cast<int32_t>(total % kBlock);
  if (typeid(stream) == typeid(TMemoryStream)) {
    auto* mem = static_cast<TMemoryStream*>(&stream);
    // The bytes are contiguous already: hand them to deflate where they are.
    const uint8_t* data = mem->Memory();
    int64_t pos = 0;
    for (int64_t i = 0; i < blocks; ++i, pos += kBlock) {
      zip->Write(data + pos, kBlock);
      mem->Seek(kBlock, soFromCurrent);
    }
    if (rest != 0) {
      zip->Write(data + pos, rest);
      mem->Seek(rest, soFromCurrent);
    }
  } else {
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[kBlock]);
    for (int64_t i = 0; i < blocks; ++i) {
      stream.ReadBuffer(buffer.get(), kBlock);
      zip->Write(buffer.get(), kBlock);
    }
    if (rest != 0) {
      stream.ReadBuffer(buffer.get(), rest);
      zip->Write(buffer.get(), rest);
    }
  }
  // Finish explicitly so that a failure to complete the data reaches the
  // caller instead of being swallowed by the destructor.
  zip->Finish();
  zip.reset();
  ReplaceContent(temp, stream);
}

void DecompressStream(int32_t size, TStream& stream) {
  if (size < 0) throw ELQDecompressError("Invalid stream operation", 0);
  TMemoryStream temp;
  // All the room up front: temp's memory does not move while it fills.
  temp.SetCapacity(size);
  stream.SetPosition(0);
  auto unzip = std::make_unique<TDecompressionStream>(stream);

  // Each block is inflated straight into the place it takes in temp, then
  // written there "from itself", which only advances temp's size and position.
  // Short counts (the plain data ended early) are not examined, but the rest
  // of the block is zeroed: bytes beyond the real plain data are 0.
  auto move = [&](int32_t count) {
    uint8_t* block = temp.Memory() + temp.Position();
    int32_t got = std::max(unzip->Read(block, count), 0);
    if (got < count) std::memset(block + got, 0, static_cast<size_t>(count - got));
    temp.WriteBuffer(block, count);
  };
  for (int32_t i = size / kBlock; i > 0; --i) move(kBlock);
  if (size % kBlock != 0) move(size % kBlock);
  unzip.reset();
  ReplaceContent(temp, stream);
}

}  // namespace limpet

// The zlib stream classes: TCustomZlibStream, TCompressionStream and
// TDecompressionStream.
#include <cstdlib>

#include "LQComp.h"

namespace limpet {

LIMPET_DEFINE_CLASS(TCustomZlibStream, TStream)
LIMPET_DEFINE_CLASS(TCompressionStream, TCustomZlibStream)
LIMPET_DEFINE_CLASS(TDecompressionStream, TCustomZlibStream)

namespace {

constexpr const char* SZlibError = "error";
constexpr const char* SInvalidStreamOperation = "Invalid stream operation";
constexpr int32_t kSkipBlock = 4096;

// zlib's allocation hooks: zero-filled blocks from the heap.
voidpf ZAlloc(voidpf /*opaque*/, uInt items, uInt size) { return std::calloc(items, size); }
void ZFree(voidpf /*opaque*/, voidpf address) { std::free(address); }

// A negative zlib result raises the side's error with the code; others pass.
int CompressCheck(int code) {
  if (code < 0) throw ELQCompressError(SZlibError, code);
  return code;
}

int DecompressCheck(int code) {
  if (code < 0) throw ELQDecompressError(SZlibError, code);
  return code;
}

}  // namespace

// ------------------------------------------------------ TCustomZlibStream

TCustomZlibStream::TCustomZlibStream(TStream& strm)
    : FStream(&strm), FStreamPos(strm.Position()), FZStream{} {
  FZStream.zalloc = ZAlloc;
  FZStream.zfree = ZFree;
  FZStream.opaque = Z_NULL;
}

TCustomZlibStream::~TCustomZlibStream() = default;

void TCustomZlibStream::Progress(TObject* sender) {
  if (!FOnProgress) return;
  const TObject* bound = FOnProgress.Object();
  if (bound != nullptr && !IsLiveObject(bound)) return;
  FOnProgress(sender);
}

void TCustomZlibStream::RestoreStreamPos() {
  if (FStream->Position() != FStreamPos) FStream->SetPosition(FStreamPos);
}

// ----------------------------------------------------- TCompressionStream

TCompressionStream::TCompressionStream(TCompressLevel compressionLevel, TStream& dest)
    : TCustomZlibStream(dest) {
  FZStream.next_out = FBuffer;
  FZStream.avail_out = kBufferSize;
  // deflateInit: window bits 15, memory level 8, default strategy, with the
  // version and record size of the zlib we were built against.
  CompressCheck(deflateInit(&FZStream, compressionLevel));
}

TCompressionStream::~TCompressionStream() {
  if (FFinished) return;
  try {
    Finish();
  } catch (...) {
    // A destructor must not raise; a caller that needs to know whether the
    // data is complete calls Finish() itself. Finish() has ended deflate.
  }
}

void TCompressionStream::Finish() {
  if (FFinished) return;
  FFinished = true;
  // The caller's last buffer may be gone by now.
  FZStream.next_in = Z_NULL;
  FZStream.avail_in = 0;
  struct TDeflateEnd {
    z_stream* Z;
    ~TDeflateEnd() { deflateEnd(Z); }
  } end{&FZStream};

  RestoreStreamPos();
  for (;;) {
    if (CompressCheck(deflate(&FZStream, Z_FINISH)) == Z_STREAM_END) break;
    if (FZStream.avail_out != 0) break;
    FStream->WriteBuffer(FBuffer, kBufferSize);
    FZStream.next_out = FBuffer;
    FZStream.avail_out = kBufferSize;
  }
  if (FZStream.avail_out < static_cast<uInt>(kBufferSize)) {
    FStream->WriteBuffer(FBuffer, kBufferSize - FZStream.avail_out);
  }
}

int32_t TCompressionStream::Read(void* /*buffer*/, int32_t /*count*/) {
  throw ELQCompressError(SInvalidStreamOperation, 0);
}

int32_t TCompressionStream::Write(const void* buffer, int32_t count) {
  if (FFinished) throw ELQCompressError(SInvalidStreamOperation, 0);
  RestoreStreamPos();
  if (count <= 0) return count;
  FZStream.next_in = static_cast<Bytef*>(const_cast<void*>(buffer));
  FZStream.avail_in = static_cast<uInt>(count);
  while (FZStream.avail_in > 0) {
    CompressCheck(deflate(&FZStream, Z_NO_FLUSH));
    if (FZStream.avail_out == 0) {
      FStream->WriteBuffer(FBuffer, kBufferSize);
      FZStream.next_out = FBuffer;
      FZStream.avail_out = kBufferSize;
      FStreamPos = FStream->Position();
      Progress(this);
    }
  }
  return count;
}

int64_t TCompressionStream::Seek(int64_t offset, int32_t origin) {
  if (offset == 0 && origin == soFromCurrent) return static_cast<int64_t>(FZStream.total_in);
  throw ELQCompressError(SInvalidStreamOperation, 0);
}

float TCompressionStream::GetCompressionRate() const noexcept {
  if (FZStream.total_in == 0) return 0.0f;
  const long double in = static_cast<long double>(FZStream.total_in);
  const long double out = static_cast<long double>(FZStream.total_out);
  return static_cast<float>((1.0L - out / in) * 100.0L);
}

// --------------------------------------------------- TDecompressionStream

TDecompressionStream::TDecompressionStream(TStream& source) : TCustomZlibStream(source) {
  FZStream.next_in = FBuffer;
  FZStream.avail_in = 0;
  // inflateInit: window bits 15, zlib header and Adler-32 trailer required.
  DecompressCheck(inflateInit(&FZStream));
}

TDecompressionStream::~TDecompressionStream() {
  try {
    // Hand the read-ahead zlib has not consumed back to the source.
    FStream->Seek(-static_cast<int64_t>(FZStream.avail_in), soFromCurrent);
  } catch (...) {
    // A destructor must not raise; the source's position is then its own.
  }
  inflateEnd(&FZStream);
}

int32_t TDecompressionStream::Read(void* buffer, int32_t count) {
  RestoreStreamPos();
  if (count <= 0) return count;
  FZStream.next_out = static_cast<Bytef*>(buffer);
  FZStream.avail_out = static_cast<uInt>(count);
  // Once zlib has seen the end of the compressed data it makes no further
  // progress: deliver nothing more, and leave the bytes behind the end (in
  // FBuffer or in the source) untouched.
  while (FZStream.avail_out > 0 && !FEndOfData) {
    if (FZStream.avail_in == 0) {
      int32_t got = FStream->Read(FBuffer, kBufferSize);
      if (got <= 0) break;
      FZStream.next_in = FBuffer;
      FZStream.avail_in = static_cast<uInt>(got);
      FStreamPos = FStream->Position();
      Progress(this);
    }
    int rc = DecompressCheck(inflate(&FZStream, Z_NO_FLUSH));
    if (rc == Z_STREAM_END) {
      FEndOfData = true;
    } else if (rc == Z_NEED_DICT) {
      // No dictionary can be given: zlib would answer the same on every
      // further call.
      throw ELQDecompressError(SZlibError, Z_STREAM_ERROR);
    }
  }
  return count - static_cast<int32_t>(FZStream.avail_out);
}

int32_t TDecompressionStream::Write(const void* /*buffer*/, int32_t /*count*/) {
  throw ELQDecompressError(SInvalidStreamOperation, 0);
}

int64_t TDecompressionStream::Seek(int64_t offset, int32_t origin) {
  const int64_t delivered = static_cast<int64_t>(FZStream.total_out);
  if (offset == 0 && origin == soFromBeginning) {
    // Rewind: start over from the source's position 0.
    DecompressCheck(inflateReset(&FZStream));
    FZStream.next_in = FBuffer;
    FZStream.avail_in = 0;
    FEndOfData = false;
    FStream->SetPosition(0);
    FStreamPos = 0;
  } else if ((offset >= 0 && origin == soFromCurrent) ||
             (offset > delivered && origin == soFromBeginning)) {
    // Forward skip: read and discard.
    if (origin == soFromBeginning) offset -= delivered;
    if (offset > 0) {
      uint8_t scratch[kSkipBlock];
      for (int64_t i = offset / kSkipBlock; i > 0; --i) ReadBuffer(scratch, kSkipBlock);
      if (offset % kSkipBlock != 0) ReadBuffer(scratch, offset % kSkipBlock);
    }
  } else {
    throw ELQDecompressError(SInvalidStreamOperation, 0);
  }
  return static_cast<int64_t>(FZStream.total_out);
}

}  // namespace limpet

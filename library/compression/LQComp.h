// zlib compression: stream classes that deflate into and inflate from another
// stream, and whole-stream compression of a stream's content.
//
// The compressed form is the standard zlib format (two-byte header, deflate
// data, Adler-32 trailer) with a 32 KiB window, memory level 8 and the
// default strategy: any zlib inflate reads what these classes write, and
// they read any zlib stream that needs no preset dictionary.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <utility>

#include "LQEvents.h"
#include "LQExcept.h"
#include "LQStreams.h"

namespace limpet {

// Compression level 0 to 9, handed to zlib unchanged: 0 stores, 1 is the
// fastest, 9 compresses best.
using TCompressLevel = uint8_t;

// Common base of the two zlib streams. It sits on top of another stream (not
// owned) and moves data through a 65536-byte buffer held inside the object.
// Between two calls the caller may move the underlying stream: each access
// first puts it back where this object last left it.
class TCustomZlibStream : public TStream {
  LIMPET_CLASS(TCustomZlibStream)
 public:
  static constexpr int32_t kBufferSize = 65536;

  TCustomZlibStream(const TCustomZlibStream&) = delete;
  TCustomZlibStream& operator=(const TCustomZlibStream&) = delete;
  ~TCustomZlibStream() override;

  // Fired with the stream as sender once per 65536-byte block moved to or
  // from the underlying stream.
  const TNotifyEvent& OnProgress() const noexcept { return FOnProgress; }
  void SetOnProgress(TNotifyEvent event) { FOnProgress = std::move(event); }

 protected:
  // Remembers `strm` and its current position, and installs the library's
  // allocation hooks (zero-filled heap blocks) in the zlib record.
  explicit TCustomZlibStream(TStream& strm);

  // Default: calls OnProgress with `sender` when it is set (and its bound
  // object, if any, is still alive).
  virtual void Progress(TObject* sender);

  // Puts the underlying stream back at FStreamPos if someone moved it.
  void RestoreStreamPos();

  TStream* FStream;
  int64_t FStreamPos;
  TNotifyEvent FOnProgress;
  z_stream FZStream;
  uint8_t FBuffer[kBufferSize];
};

// Accepts plain bytes through Write and writes their compressed form to the
// destination stream, from the destination's position at creation onwards.
// The destination receives whole 65536-byte blocks while data is written; the
// rest, the final block and the Adler-32 trailer follow when the stream is
// finished.
//
// Finishing. Finish() completes the compressed data and raises when that
// fails (ELQCompressError for a zlib failure, EWriteError when the
// destination takes fewer bytes). A caller that must know whether the data
// is complete calls Finish() before destroying the object. The destructor
// finishes only when Finish() was not called; since a destructor must not
// raise, an error there is swallowed, and zlib's state is released on every
// path. After Finish() the stream takes no more data.
//
// Seek only answers the position query Seek(0, soFromCurrent) (the number of
// plain bytes accepted so far); setting the position, asking the size and
// Read raise ELQCompressError "Invalid stream operation".
class TCompressionStream : public TCustomZlibStream {
  LIMPET_CLASS(TCompressionStream)
 public:
  // Raises ELQCompressError with zlib's code when zlib refuses the level
  // (a value above 9).
  TCompressionStream(TCompressLevel compressionLevel, TStream& dest);
  ~TCompressionStream() override;

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, int32_t origin) override;

  // Writes the rest of the compressed data (the final block and the Adler-32
  // trailer) to the destination and releases zlib's state, also when it
  // raises. Runs once; later calls do nothing.
  void Finish();
  // True once Finish() has run, whether it succeeded or raised.
  bool Finished() const noexcept { return FFinished; }

  // (1 - compressed / plain) * 100 for the bytes so far, 0 before any data.
  // Before Finish() the compressed count does not include the final flush.
  float GetCompressionRate() const noexcept;
  float CompressionRate() const noexcept { return GetCompressionRate(); }

 private:
  bool FFinished = false;
};

// Reads compressed bytes from the source stream, from the source's position
// at creation onwards, and hands out the plain bytes through Read. It reads
// ahead up to 65536 bytes; destroying it moves the source back by the bytes
// zlib has not consumed, so that after a complete compressed stream the
// source stands right behind it.
//
// Read returns fewer bytes than asked when the source runs out or the
// compressed data has ended; bytes behind the end are never delivered and
// never read from the source. Corrupt data raises ELQDecompressError with
// zlib's code (typically Z_DATA_ERROR); a stream that asks for a preset
// dictionary cannot be read and raises it with Z_STREAM_ERROR. Seek answers the position query, skips forward
// (raising EReadError past the end of the plain data) and rewinds to 0
// (which restarts at the source's position 0); anything else, and Write,
// raise ELQDecompressError "Invalid stream operation".
class TDecompressionStream : public TCustomZlibStream {
  LIMPET_CLASS(TDecompressionStream)
 public:
  explicit TDecompressionStream(TStream& source);
  ~TDecompressionStream() override;

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, int32_t origin) override;

 private:
  // zlib reported the end of the compressed data.
  bool FEndOfData = false;
};

// Replaces the whole content of `stream` (position 0 to its size) by its
// compressed form at `level`: a bare zlib stream, no header of our own. On
// return the stream holds only the result, at position 0. Errors pass to the
// caller (ELQCompressError, the stream's own read or write errors, also those
// of finishing the compressed data); a failure before the result is copied
// back leaves the stream's old content.
void CompressStream(TCompressLevel level, TStream& stream);

// Replaces the content of `stream`, zlib data from position 0, by exactly
// `size` plain bytes, at position 0. A size below the real plain length
// gives its first `size` bytes; when `size` is larger, the bytes behind the
// real plain data are zeros (no error). A negative size raises
// ELQDecompressError "Invalid stream operation". On an error the stream
// keeps its old content.
void DecompressStream(int32_t size, TStream& stream);

}  // namespace limpet

// Helpers shared by the test programs.
#pragma once

#include <cstdint>
#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "LQStreams.h"

namespace limpet::test {

// A fresh directory that is removed with everything in it when the object
// goes away.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::string& Path() const { return FPath; }
  // Path of `name` inside the directory.
  std::string File(const std::string& name) const { return FPath + "/" + name; }

 private:
  std::string FPath;
};

void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);

// "61 62 63" or "616263" to the bytes they spell.
std::string FromHex(const std::string& hex);
// Bytes to upper-case hexadecimal pairs separated by spaces.
std::string ToHex(const std::string& bytes);
// Deterministic pseudo-random bytes.
std::string RandomBytes(size_t size, uint32_t seed);
// Deterministic text-like bytes (words and line breaks), compressible.
std::string TextBytes(size_t size, uint32_t seed);

// Runs `op` and expects it to raise TError with exactly `message`.
template <class TError, class Op>
void ExpectError(Op op, const std::string& message) {
  try {
    op();
    ADD_FAILURE() << "no error, expected: " << message;
  } catch (const TError& e) {
    EXPECT_EQ(e.Message(), message);
  }
}

// A memory stream that takes no byte at or beyond `limit`: a destination
// that runs full.
class TLimitedStream : public TMemoryStream {
 public:
  explicit TLimitedStream(int64_t limit) : FLimit(limit) {}
  int32_t Write(const void* buffer, int32_t count) override {
    int64_t room = FLimit - Position();
    if (room <= 0) return 0;
    return TMemoryStream::Write(buffer, static_cast<int32_t>(std::min<int64_t>(count, room)));
  }

 private:
  int64_t FLimit;
};

}  // namespace limpet::test

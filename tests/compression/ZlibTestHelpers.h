// Helpers of the compression tests: zlib's own one-shot calls as the
// independent reference, streams that misbehave on purpose, error checks.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <utility>

#include "LQComp.h"
#include "LQStreams.h"

namespace limpet::test {

// zlib's compress2 at `level`.
inline std::string ZlibCompress(const std::string& plain, int level) {
  uLongf len = compressBound(static_cast<uLong>(plain.size()));
  std::string out(len, '\0');
  int rc = compress2(reinterpret_cast<Bytef*>(out.data()), &len,
                     reinterpret_cast<const Bytef*>(plain.data()), static_cast<uLong>(plain.size()),
                     level);
  EXPECT_EQ(rc, Z_OK);
  out.resize(len);
  return out;
}

// zlib's uncompress into room for `plainSize` bytes. A failure is reported
// through gtest and yields "".
inline std::string ZlibUncompress(const std::string& compressed, size_t plainSize) {
  std::string out(std::max<size_t>(plainSize, 1), '\0');
  uLongf len = static_cast<uLongf>(out.size());
  int rc = uncompress(reinterpret_cast<Bytef*>(out.data()), &len,
                      reinterpret_cast<const Bytef*>(compressed.data()),
                      static_cast<uLong>(compressed.size()));
  EXPECT_EQ(rc, Z_OK) << "zlib's uncompress refused the data";
  if (rc != Z_OK) return "";
  out.resize(len);
  return out;
}

// The four trailer bytes of a zlib stream over `plain`: Adler-32, big-endian.
inline std::string AdlerTrailer(const std::string& plain) {
  uLong a = adler32(adler32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(plain.data()),
                    static_cast<uInt>(plain.size()));
  std::string t(4, '\0');
  for (int i = 0; i < 4; ++i) t[i] = static_cast<char>((a >> (24 - 8 * i)) & 0xFF);
  return t;
}

inline void Fill(TMemoryStream& s, const std::string& bytes) {
  s.SetSize(0);
  s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  s.SetPosition(0);
}

// Runs f, which must raise exactly E with the message and zlib code.
template <class E, class F>
void ExpectZlibError(F&& f, const std::string& message, int32_t code) {
  try {
    f();
    ADD_FAILURE() << "no error raised";
  } catch (const E& e) {
    EXPECT_EQ(e.Message(), message);
    EXPECT_EQ(e.ZlibCode(), code);
  }
}

// Runs f on another thread and passes on what it raises. A call that has
// not returned after a generous while is stuck in a loop: that thread cannot
// be stopped, so the failure ends the program instead of hanging it.
template <class F>
void MustReturn(F&& f) {
  auto done = std::async(std::launch::async, std::forward<F>(f));
  if (done.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
    std::fprintf(stderr, "a call that must return is looping\n");
    std::fflush(stderr);
    std::_Exit(1);
  }
  done.get();
}

}  // namespace limpet::test

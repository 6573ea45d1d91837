// Helpers shared by the tests of the hash, MAC and cipher classes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "CipUtils.h"
#include "LQCipher.h"
#include "MD4Core.h"
#include "TestSupport.h"

namespace limpet::cipher_test {

inline std::string Str(const uint8_t* p, size_t n) { return std::string(reinterpret_cast<const char*>(p), n); }

inline const uint8_t* U8(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// The first 32 bytes of the shared test vector.
inline std::string TestVector32() { return Str(GetTestVector(), 32); }

// MD4 by the compression core, as the reference for the classes.
inline std::string MD4Of(const std::string& message) {
  uint8_t out[16];
  md4::Digest(U8(message), message.size(), out);
  return Str(out, 16);
}

// MD4 of `message` from the chaining value `state` (16 digest-order bytes)
// with the length of the message alone in the final block.
inline std::string MD4From(const std::string& state, const std::string& message) {
  uint32_t s[4];
  for (int i = 0; i < 4; ++i)
    s[i] = uint32_t(uint8_t(state[4 * i])) | uint32_t(uint8_t(state[4 * i + 1])) << 8 |
           uint32_t(uint8_t(state[4 * i + 2])) << 16 | uint32_t(uint8_t(state[4 * i + 3])) << 24;
  std::string padded = message;
  padded.push_back('\x80');
  while (padded.size() % 64 != 56) padded.push_back('\0');
  const uint64_t bits = uint64_t(message.size()) * 8;
  for (int i = 0; i < 8; ++i) padded.push_back(static_cast<char>(bits >> (8 * i)));
  md4::Transform(s, U8(padded), padded.size() / 64);
  std::string out(16, '\0');
  for (int i = 0; i < 16; ++i) out[i] = static_cast<char>(s[i / 4] >> (8 * (i % 4)));
  return out;
}

inline std::unique_ptr<TMemoryStream> StreamOf(const std::string& bytes) {
  auto s = std::make_unique<TMemoryStream>();
  if (!bytes.empty()) s->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  s->SetPosition(0);
  return s;
}

using TProgressLog = std::vector<std::pair<int32_t, int32_t>>;

// Records the process-wide progress notification for the life of the
// object, and empties it again afterwards.
class TProgressRecorder {
 public:
  TProgressRecorder() {
    Progress = TProgressEvent([this](TObject* sender, int32_t current, int32_t maximal) {
      Senders.push_back(sender);
      Log.emplace_back(current, maximal);
    });
  }
  ~TProgressRecorder() { Progress = TProgressEvent(); }
  TProgressRecorder(const TProgressRecorder&) = delete;
  TProgressRecorder& operator=(const TProgressRecorder&) = delete;

  TProgressLog Log;
  std::vector<TObject*> Senders;
};

// The ECipherException that f raises (a failure when it raises none).
template <class F>
ECipherException CipherErrorOf(F&& f) {
  try {
    f();
  } catch (const ECipherException& e) {
    return e;
  }
  ADD_FAILURE() << "no ECipherException raised";
  return ECipherException("", 0);
}

inline bool Alive(const void* p) { return IsObject(p, TProtection::Class()); }

// One EncodeBuffer / DecodeBuffer call over a copy of `data`.
inline std::string Encode(TCipher& c, const std::string& data) {
  std::string out(data.size(), '\0');
  c.EncodeBuffer(data.data(), out.data(), static_cast<int32_t>(data.size()));
  return out;
}

inline std::string Decode(TCipher& c, const std::string& data) {
  std::string out(data.size(), '\0');
  c.DecodeBuffer(data.data(), out.data(), static_cast<int32_t>(data.size()));
  return out;
}

}  // namespace limpet::cipher_test

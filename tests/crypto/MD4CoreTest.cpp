#include "MD4Core.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace limpet {
namespace {

using test::FromHex;
using test::ToHex;

std::string DigestOf(const std::string& message) {
  uint8_t out[16];
  md4::Digest(reinterpret_cast<const uint8_t*>(message.data()), message.size(), out);
  return std::string(reinterpret_cast<const char*>(out), sizeof(out));
}

struct TDigestCase {
  std::string Message;
  const char* Digest;
};

// RFC 1320, appendix A.5.
TEST(MD4Core, RfcTestSuite) {
  const TDigestCase cases[] = {
      {"", "31d6cfe0d16ae931b73c59d7e0c089c0"},
      {"a", "bde52cb31de33e46245e05fbdbd6fb24"},
      {"abc", "a448017aaf21d8525fc10ae87aa6729d"},
      {"message digest", "d9130a8164549fe818874806e1c7014b"},
      {"abcdefghijklmnopqrstuvwxyz", "d79e1c308aa5bbcdeea8ed63df412da9"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "043f8582f241db351ce627e153e7f0e4"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "e33b4ddc9c38f2199c3e7b164fcc0536"},
  };
  for (const auto& c : cases) EXPECT_EQ(DigestOf(c.Message), FromHex(c.Digest)) << '"' << c.Message << '"';
}

// The padding boundaries: up to 55 bytes the length fits into the last
// block, from 56 on it needs a block of its own. Digests from OpenSSL's MD4.
TEST(MD4Core, PaddingBoundaries) {
  const TDigestCase cases[] = {
      {std::string(55, 'a'), "c889c81dd86c4d2e025778944ea02881"},
      {std::string(56, 'a'), "d5f9a9e9257077a5f08b0b92f348b0ad"},
      {std::string(63, 'a'), "7ea3da77432d44c323671097d1348fc8"},
      {std::string(64, 'a'), "52f5076fabd22680234a3fa9f9dc5732"},
      {std::string(119, 'a'), "e65dd227ccef97fa1d34d70189120f76"},
      {std::string(120, 'a'), "b03ddbd470b47c013e0c7ab2ddd763db"},
  };
  for (const auto& c : cases) EXPECT_EQ(DigestOf(c.Message), FromHex(c.Digest)) << c.Message.size() << " bytes";
}

TEST(MD4Core, DigestOfTheSharedTestVector) {
  const std::string vector32 = FromHex(
      "30 44 ED 6E 45 A4 96 F5 F6 35 A2 EB 3D 1A 5D D6 CB 1D 09 82 2D BD F5 60 C2 B8 58 A1 91 F9 81 B1");
  EXPECT_EQ(ToHex(DigestOf(vector32)), "25 EA BF CC 8C C9 6F D9 2D CF 7E BD 7F 87 7C 7C");
}

TEST(MD4Core, NullDataWithSizeZeroIsTheEmptyMessage) {
  uint8_t out[16];
  md4::Digest(nullptr, 0, out);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 16), FromHex("31d6cfe0d16ae931b73c59d7e0c089c0"));
}

// One call over many blocks, from any alignment, equals one call per block.
TEST(MD4Core, MultiBlockAndUnalignedEqualBlockwise) {
  const size_t blocks = 37;
  const std::string data = test::RandomBytes(blocks * md4::kBlockSize, 4);

  uint32_t expected[4];
  std::memcpy(expected, md4::kInitState, sizeof(expected));
  for (size_t i = 0; i < blocks; ++i)
    md4::Transform(expected, reinterpret_cast<const uint8_t*>(data.data()) + i * md4::kBlockSize, 1);

  std::vector<uint8_t> buffer(data.size() + 8);
  for (size_t offset = 0; offset < 8; ++offset) {
    std::memcpy(buffer.data() + offset, data.data(), data.size());
    uint32_t state[4];
    std::memcpy(state, md4::kInitState, sizeof(state));
    md4::Transform(state, buffer.data() + offset, blocks);
    EXPECT_EQ(0, std::memcmp(state, expected, sizeof(state))) << "offset " << offset;
  }

  // Zero blocks leave the state alone.
  uint32_t state[4] = {1, 2, 3, 4};
  md4::Transform(state, buffer.data(), 0);
  EXPECT_EQ(state[0], 1u);
  EXPECT_EQ(state[3], 4u);
}

}  // namespace
}  // namespace limpet

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "CipUtils.h"
#include "TestSupport.h"

namespace limpet {
namespace {

// Bit-at-a-time definitions, independent of the tables.
uint16_t BitwiseCrc16(uint16_t crc, const std::string& data) {
  for (unsigned char b : data) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  }
  return crc;
}

uint32_t BitwiseCrc32(uint32_t crc, const std::string& data) {
  for (unsigned char b : data) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return crc;
}

uint32_t Crc32Of(const std::string& s) {
  return CRC32(0xFFFFFFFFu, s.data(), static_cast<uint32_t>(s.size())) ^ 0xFFFFFFFFu;
}

TEST(Crc, CheckValues) {
  EXPECT_EQ(CRC16(0, "123456789", 9), 0xBB3D);
  EXPECT_EQ(CRC16(0, "abc", 3), 0x9738);
  EXPECT_EQ(CRC32(0xFFFFFFFFu, "123456789", 9), 0x340BC6D9u);
  EXPECT_EQ(Crc32Of("123456789"), 0xCBF43926u);
  EXPECT_EQ(CRC32(0xFFFFFFFFu, "abc", 3), 0xCADBBE3Du);
  EXPECT_EQ(Crc32Of("abc"), 0x352441C2u);
}

TEST(Crc, TableEntriesSeenThroughOneByte) {
  // From a zero register, one byte b gives table entry b.
  auto one16 = [](uint8_t b) { return CRC16(0, &b, 1); };
  auto one32 = [](uint8_t b) { return CRC32(0, &b, 1); };
  EXPECT_EQ(one16(1), 0xC0C1);
  EXPECT_EQ(one16(128), 0xA001);
  EXPECT_EQ(one16(255), 0x4040);
  EXPECT_EQ(one32(1), 0x77073096u);
  EXPECT_EQ(one32(255), 0x2D02EF8Du);
}

TEST(Crc, EmptyNullAndNegativeSizesReturnTheStartValue) {
  EXPECT_EQ(CRC16(0x1234, "abc", 0), 0x1234);
  EXPECT_EQ(CRC16(0x1234, nullptr, 5), 0x1234);
  EXPECT_EQ(CRC16(0x1234, "abc", 0x80000000u), 0x1234);
  EXPECT_EQ(CRC32(0xCAFEBABEu, "abc", 0), 0xCAFEBABEu);
  EXPECT_EQ(CRC32(0xCAFEBABEu, nullptr, 5), 0xCAFEBABEu);
  EXPECT_EQ(CRC32(0xCAFEBABEu, "abc", 0xFFFFFFFFu), 0xCAFEBABEu);
}

// Every length and alignment around the block sizes of the fast paths, with
// arbitrary start values, against the bit-at-a-time definition and zlib.
TEST(Crc, FastPathsMatchTheDefinitionForEveryLengthAndAlignment) {
  const std::string data = test::RandomBytes(4096 + 64, 77);
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= 300; ++n) lengths.push_back(n);
  for (size_t n : {511u, 512u, 513u, 1000u, 4095u, 4096u}) lengths.push_back(n);
  for (size_t offset : {0u, 1u, 3u, 7u, 15u}) {
    for (size_t n : lengths) {
      const std::string s = data.substr(offset, n);
      const auto size = static_cast<uint32_t>(n);
      const uint16_t start16 = static_cast<uint16_t>(0x1D0F + n);
      const uint32_t start32 = 0x9E3779B9u * static_cast<uint32_t>(n + 1);
      ASSERT_EQ(CRC16(start16, s.data(), size), BitwiseCrc16(start16, s)) << offset << "/" << n;
      ASSERT_EQ(detail::CRC16Portable(start16, s.data(), size), BitwiseCrc16(start16, s)) << n;
      ASSERT_EQ(CRC32(start32, s.data(), size), BitwiseCrc32(start32, s)) << offset << "/" << n;
      ASSERT_EQ(detail::CRC32Portable(start32, s.data(), size), BitwiseCrc32(start32, s)) << n;
      ASSERT_EQ(Crc32Of(s), static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(s.data()), size)))
          << offset << "/" << n;
    }
  }
}

TEST(Crc, LargeBufferMatchesZlibAndSplitsChain) {
  const std::string data = test::RandomBytes(3 * 1024 * 1024 + 5, 3);
  const auto size = static_cast<uint32_t>(data.size());
  const uint32_t zl = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), size));
  EXPECT_EQ(Crc32Of(data), zl);
  // Feeding the register back in continues the computation.
  uint32_t split = CRC32(0xFFFFFFFFu, data.data(), 1000001);
  split = CRC32(split, data.data() + 1000001, size - 1000001);
  EXPECT_EQ(split ^ 0xFFFFFFFFu, zl);
  uint16_t s16 = CRC16(0, data.data(), 777);
  s16 = CRC16(s16, data.data() + 777, size - 777);
  EXPECT_EQ(s16, detail::CRC16Portable(0, data.data(), size));
}

}  // namespace
}  // namespace limpet

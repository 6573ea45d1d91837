#include "BlowfishCore.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "BlowfishVectors.h"
#include "TestSupport.h"

namespace limpet {
namespace {

using blowfish::TContext;
using test::FromHex;
using test::ToHex;

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

std::unique_ptr<TContext> Schedule(const std::string& key) {
  auto ctx = std::make_unique<TContext>();
  blowfish::KeySchedule(*ctx, Bytes(key), static_cast<int32_t>(key.size()));
  return ctx;
}

std::string Encrypt(const TContext& ctx, std::string block) {
  blowfish::EncryptBlock(ctx, reinterpret_cast<uint8_t*>(block.data()));
  return block;
}

std::string Decrypt(const TContext& ctx, std::string block) {
  blowfish::DecryptBlock(ctx, reinterpret_cast<uint8_t*>(block.data()));
  return block;
}

bool SameSchedule(const TContext& a, const TContext& b) { return std::memcmp(&a, &b, sizeof(TContext)) == 0; }

TEST(BlowfishCore, InitialTablesAreThePiDigits) {
  EXPECT_EQ(blowfish::kInitP[0], 0x243F6A88u);
  EXPECT_EQ(blowfish::kInitP[17], 0x8979FB1Bu);
  EXPECT_EQ(blowfish::kInitS[0][0], 0xD1310BA6u);
  EXPECT_EQ(blowfish::kInitS[3][255], 0x3AC372E6u);
}

// The published ECB test set for 8-byte keys: key, plaintext, ciphertext.
TEST(BlowfishCore, PublishedEcbVectors) {
  for (const auto& c : test::kBlowfishEcbVectors) {
    SCOPED_TRACE(c.Key);
    auto ctx = Schedule(FromHex(c.Key));
    EXPECT_EQ(Encrypt(*ctx, FromHex(c.Plain)), FromHex(c.Cipher));
    EXPECT_EQ(Decrypt(*ctx, FromHex(c.Cipher)), FromHex(c.Plain));
  }
}

// The published key-length test: the first n bytes (n = 1 to 24) of one key
// encrypt the same block. Most lengths do not divide the 72 bytes of the
// P-array, so the key wraps around in the middle of a word.
TEST(BlowfishCore, PublishedVariableKeyLengthVectors) {
  const std::string key = FromHex(test::kBlowfishKeyLengthKey);
  const std::string plain = FromHex(test::kBlowfishKeyLengthPlain);
  const auto& ciphers = test::kBlowfishKeyLengthCiphers;
  for (size_t n = 1; n <= key.size(); ++n)
    EXPECT_EQ(Encrypt(*Schedule(key.substr(0, n)), plain), FromHex(ciphers[n - 1])) << n << " key bytes";
}

// Four chained blocks under a 16-byte key: the initial feedback is the
// encryption of an all-0xFF block, then Y = E(X xor F), F = F xor Y.
TEST(BlowfishCore, ChainedKnownAnswer) {
  auto ctx = Schedule("TCipher_Blowfish");
  const std::string plain = FromHex(
      "30 44 ED 6E 45 A4 96 F5 F6 35 A2 EB 3D 1A 5D D6 CB 1D 09 82 2D BD F5 60 C2 B8 58 A1 91 F9 81 B1");
  const std::string expected = FromHex(
      "19 71 CA CD 2B 9C 85 29 DA 81 47 B7 EB CE 16 C6 91 0E 1D C8 40 12 3E 35 70 ED BC 96 4C 13 D0 B8");
  const std::string iv = Encrypt(*ctx, std::string(8, '\xFF'));

  std::string feedback = iv;
  std::string out(plain.size(), '\0');
  blowfish::EncryptCTS(*ctx, reinterpret_cast<uint8_t*>(feedback.data()), Bytes(plain),
                       reinterpret_cast<uint8_t*>(out.data()), 4);
  EXPECT_EQ(ToHex(out), ToHex(expected));
  std::string encryptFeedback = feedback;

  feedback = iv;
  blowfish::DecryptCTS(*ctx, reinterpret_cast<uint8_t*>(feedback.data()), Bytes(out),
                       reinterpret_cast<uint8_t*>(out.data()), 4);
  EXPECT_EQ(ToHex(out), ToHex(plain));
  EXPECT_EQ(feedback, encryptFeedback);
}

TEST(BlowfishCore, DecryptInvertsEncryptForEveryKeySize) {
  for (int32_t size = 1; size <= blowfish::kMaxKeySize; ++size) {
    auto ctx = Schedule(test::RandomBytes(static_cast<size_t>(size), 100 + size));
    const std::string block = test::RandomBytes(8, 200 + size);
    const std::string cipher = Encrypt(*ctx, block);
    EXPECT_NE(cipher, block) << size;
    EXPECT_EQ(Decrypt(*ctx, cipher), block) << size;
  }
}

TEST(BlowfishCore, KeyBytesAreUsedCyclically) {
  const std::string k = FromHex("DE AD BE EF");
  EXPECT_TRUE(SameSchedule(*Schedule(k), *Schedule(k + k)));
  EXPECT_TRUE(SameSchedule(*Schedule(k), *Schedule(k + k + k + k)));
  EXPECT_FALSE(SameSchedule(*Schedule(k), *Schedule(k + "\xDE")));
  // 18 words take 72 bytes: a 56-byte key wraps around after P[13].
  const std::string k56 = test::RandomBytes(56, 9);
  EXPECT_FALSE(SameSchedule(*Schedule(k56), *Schedule(k56.substr(0, 55))));
}

TEST(BlowfishCore, OutOfRangeKeySizes) {
  // Above 56 bytes only the first 56 count.
  const std::string k = test::RandomBytes(60, 3);
  auto ctx = std::make_unique<TContext>();
  blowfish::KeySchedule(*ctx, Bytes(k), 60);
  EXPECT_TRUE(SameSchedule(*ctx, *Schedule(k.substr(0, 56))));

  // No key bytes mix in nothing, as a key of zero bytes does.
  blowfish::KeySchedule(*ctx, Bytes(k), 0);
  EXPECT_TRUE(SameSchedule(*ctx, *Schedule(std::string(1, '\0'))));
  blowfish::KeySchedule(*ctx, nullptr, -5);
  EXPECT_TRUE(SameSchedule(*ctx, *Schedule(std::string(1, '\0'))));
}

// The bulk loops against the single-block definitions.
class BlowfishBulk : public ::testing::Test {
 protected:
  BlowfishBulk() : FCtx(Schedule(FromHex("01 23 45 67 89 AB CD EF F0 E1 D2 C3 B4 A5 96 87"))) {}

  std::string EncryptCTSByBlock(std::string data, std::string& feedback) const {
    for (size_t i = 0; i < data.size(); i += 8) {
      std::string x = data.substr(i, 8);
      for (int k = 0; k < 8; ++k) x[k] ^= feedback[k];
      const std::string y = Encrypt(*FCtx, x);
      data.replace(i, 8, y);
      for (int k = 0; k < 8; ++k) feedback[k] ^= y[k];
    }
    return data;
  }

  std::string DecryptCTSByBlock(std::string data, std::string& feedback) const {
    for (size_t i = 0; i < data.size(); i += 8) {
      const std::string y = data.substr(i, 8);
      std::string x = Decrypt(*FCtx, y);
      for (int k = 0; k < 8; ++k) x[k] ^= feedback[k];
      data.replace(i, 8, x);
      for (int k = 0; k < 8; ++k) feedback[k] ^= y[k];
    }
    return data;
  }

  std::string ECBByBlock(std::string data, bool decrypt) const {
    for (size_t i = 0; i < data.size(); i += 8)
      data.replace(i, 8, decrypt ? Decrypt(*FCtx, data.substr(i, 8)) : Encrypt(*FCtx, data.substr(i, 8)));
    return data;
  }

  using TCTS = void (*)(const TContext&, uint8_t*, const uint8_t*, uint8_t*, size_t);

  // Runs a CTS helper once into a separate buffer and once in place; both
  // must give `expected` and leave `expectedFeedback`. The separate buffer
  // has a guard block behind it that must stay untouched.
  void CheckCTS(TCTS fn, const std::string& data, const std::string& expected, const std::string& expectedFeedback) {
    const size_t blocks = data.size() / 8;
    std::string feedback = FFeedback;
    std::string out(data.size() + 8, '\x5A');
    fn(*FCtx, reinterpret_cast<uint8_t*>(feedback.data()), Bytes(data), reinterpret_cast<uint8_t*>(out.data()),
       blocks);
    EXPECT_EQ(out.substr(0, data.size()), expected);
    EXPECT_EQ(out.substr(data.size()), std::string(8, '\x5A'));
    EXPECT_EQ(feedback, expectedFeedback);

    std::string inPlace = data;
    feedback = FFeedback;
    fn(*FCtx, reinterpret_cast<uint8_t*>(feedback.data()), Bytes(inPlace), reinterpret_cast<uint8_t*>(inPlace.data()),
       blocks);
    EXPECT_EQ(inPlace, expected);
    EXPECT_EQ(feedback, expectedFeedback);
  }

  std::unique_ptr<TContext> FCtx;
  const std::string FFeedback = FromHex("A1 B2 C3 D4 E5 F6 07 18");
};

TEST_F(BlowfishBulk, HelpersEqualTheBlockDefinitions) {
  // 1031 = 128 groups of eight, one of four, three single blocks.
  std::vector<size_t> counts = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 1031};
  for (size_t blocks : counts) {
    SCOPED_TRACE(blocks);
    const std::string data = test::RandomBytes(blocks * 8, static_cast<uint32_t>(blocks) + 1);

    std::string feedback = FFeedback;
    const std::string encrypted = EncryptCTSByBlock(data, feedback);
    CheckCTS(&blowfish::EncryptCTS, data, encrypted, feedback);

    feedback = FFeedback;
    const std::string decrypted = DecryptCTSByBlock(data, feedback);
    CheckCTS(&blowfish::DecryptCTS, data, decrypted, feedback);

    for (bool decrypt : {false, true}) {
      std::string buffer = data + std::string(8, '\x5A');
      (decrypt ? blowfish::DecryptECB : blowfish::EncryptECB)(*FCtx, reinterpret_cast<uint8_t*>(buffer.data()),
                                                              blocks);
      EXPECT_EQ(buffer.substr(0, data.size()), ECBByBlock(data, decrypt)) << "decrypt " << decrypt;
      EXPECT_EQ(buffer.substr(data.size()), std::string(8, '\x5A'));
    }
  }
}

TEST_F(BlowfishBulk, CTSRoundTripFromUnalignedBuffers) {
  const std::string data = test::RandomBytes(8 * 23, 77);
  std::vector<uint8_t> buffer(data.size() + 3);
  uint8_t* p = buffer.data() + 3;
  std::memcpy(p, data.data(), data.size());
  std::string feedback = FFeedback;
  blowfish::EncryptCTS(*FCtx, reinterpret_cast<uint8_t*>(feedback.data()), p, p, 23);
  EXPECT_NE(std::memcmp(p, data.data(), data.size()), 0);
  feedback = FFeedback;
  blowfish::DecryptCTS(*FCtx, reinterpret_cast<uint8_t*>(feedback.data()), p, p, 23);
  EXPECT_EQ(std::memcmp(p, data.data(), data.size()), 0);
}

}  // namespace
}  // namespace limpet

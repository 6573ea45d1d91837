#include "BlowfishCore.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

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
  struct TCase {
    const char* Key;
    const char* Plain;
    const char* Cipher;
  };
  const TCase cases[] = {
      {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
      {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
      {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
      {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
      {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
      {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
      {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
      {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
      {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
      {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
      {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
      {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
      {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
      {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
      {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
      {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
      {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
      {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
      {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
      {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
      {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
      {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
      {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
      {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
      {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
      {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
      {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
      {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
      {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
      {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
      {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
      {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
      {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
      {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
  };
  for (const auto& c : cases) {
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
  const std::string key = FromHex("F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677");
  const std::string plain = FromHex("FEDCBA9876543210");
  const char* const ciphers[] = {
      "F9AD597C49DB005E", "E91D21C1D961A6D6", "E9C2B70A1BC65CF3", "BE1E639408640F05", "B39E44481BDB1E6E",
      "9457AA83B1928C0D", "8BB77032F960629D", "E87A244E2CC85E82", "15750E7A4F4EC577", "122BA70B3AB64AE0",
      "3A833C9AFFC537F6", "9409DA87A90F6BF2", "884F80625060B8B4", "1F85031C19E11968", "79D9373A714CA34F",
      "93142887EE3BE15C", "03429E838CE2D14B", "A4299E27469FF67B", "AFD5AED1C1BC96A8", "10851C0E3858DA9F",
      "E6F51ED79B9DB21F", "64A6E14AFD36B46F", "80C7D7D45A5479AD", "05044B62FA52D080",
  };
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

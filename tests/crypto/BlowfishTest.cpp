// TCipher_Blowfish: the published vectors through the class, its class
// values and self-test, and its key handling.
#include "BlowfishVectors.h"
#include "CipherTestSupport.h"

namespace limpet {
namespace {

using namespace cipher_test;
using test::FromHex;
using test::ToHex;

TRef<TCipher_Blowfish> Keyed(const std::string& key, TCipherMode mode = cmECB) {
  auto c = MakeRef<TCipher_Blowfish>();
  c->SetMode(mode);
  c->Init(key.data(), static_cast<int32_t>(key.size()), nullptr);
  return c;
}

// The published ECB test set of the algorithm, 8-byte keys: key, plaintext,
// ciphertext.
TEST(Blowfish, PublishedEcbVectorsThroughTheClass) {
  for (const auto& c : test::kBlowfishEcbVectors) {
    SCOPED_TRACE(c.Key);
    auto cipher = Keyed(FromHex(c.Key));
    // Two blocks at once take the bulk path, one block the single one.
    const std::string plain = FromHex(c.Plain);
    EXPECT_EQ(Encode(*cipher, plain + plain), FromHex(c.Cipher) + FromHex(c.Cipher));
    EXPECT_EQ(Decode(*cipher, FromHex(c.Cipher)), plain);
    cipher->Encode(const_cast<char*>(plain.data()));
    EXPECT_EQ(plain, FromHex(c.Cipher));
  }
}

// The published key-length test: the first n bytes (n = 1 to 24) of one key
// encrypt the same block.
TEST(Blowfish, PublishedVariableKeyLengthVectors) {
  const std::string key = FromHex(test::kBlowfishKeyLengthKey);
  const std::string plain = FromHex(test::kBlowfishKeyLengthPlain);
  const auto& ciphers = test::kBlowfishKeyLengthCiphers;
  for (size_t n = 1; n <= key.size(); ++n)
    EXPECT_EQ(Encode(*Keyed(key.substr(0, n)), plain), FromHex(ciphers[n - 1])) << n << " key bytes";
}

TEST(Blowfish, ClassValuesAndSelfTest) {
  int32_t block = 0, key = 0, context = 0;
  TCipher_Blowfish::GetContext(block, key, context);
  EXPECT_EQ(block, 8);
  EXPECT_EQ(key, 56);
  EXPECT_EQ(context, 4168);
  EXPECT_EQ(TCipher_Blowfish::MaxKeySize(), 56);
  EXPECT_EQ(TCipher_Blowfish::Class()->MaxKeySize(), 56);
  EXPECT_EQ(GetShortClassName(TCipher_Blowfish::Class()), "Blowfish");

  EXPECT_TRUE(TCipher_Blowfish::SelfTest());
  // What the self-test checks, spelled out: the class name as key, cmCTS.
  const std::string expected = FromHex(
      "19 71 CA CD 2B 9C 85 29 DA 81 47 B7 EB CE 16 C6 91 0E 1D C8 40 12 3E 35 70 ED BC 96 4C 13 D0 B8");
  EXPECT_EQ(Str(TCipher_Blowfish::TestVector(), 32), expected);
  auto c = Keyed("TCipher_Blowfish", cmCTS);
  EXPECT_EQ(ToHex(Encode(*c, TestVector32())), ToHex(expected));

  // The self-test leaves the key-size check as it found it.
  CheckCipherKeySize = true;
  EXPECT_TRUE(TCipher_Blowfish::SelfTest());
  EXPECT_TRUE(CheckCipherKeySize);
  CheckCipherKeySize = false;
}

// A 4-byte key K schedules as K followed by K again.
TEST(Blowfish, KeyBytesAreUsedCyclically) {
  const std::string k = FromHex("A1B2C3D4"), block = FromHex("0011223344556677");
  EXPECT_EQ(Encode(*Keyed(k), block), Encode(*Keyed(k + k), block));
  EXPECT_NE(Encode(*Keyed(k), block), Encode(*Keyed(k + "x"), block));
}

class BlowfishKeySize : public ::testing::Test {
 protected:
  void TearDown() override { CheckCipherKeySize = false; }
  const std::string Key60 = test::RandomBytes(60, 7);
  const std::string Block = FromHex("0123456789ABCDEF");
};

// Without the check an over-long key is cut to 56 bytes; with it, the key is
// refused and the object is left wiped and uninitialized.
TEST_F(BlowfishKeySize, OverlongKeysAreCutOrRefused) {
  EXPECT_EQ(Encode(*Keyed(Key60), Block), Encode(*Keyed(Key60.substr(0, 56)), Block));
  EXPECT_EQ(Encode(*Keyed(Key60.substr(0, 57)), Block), Encode(*Keyed(Key60.substr(0, 56)), Block));

  CheckCipherKeySize = true;
  auto c = Keyed("an earlier key");
  const ECipherException e = CipherErrorOf([&] { c->Init(Key60.data(), 60, nullptr); });
  EXPECT_EQ(e.FaultCode(), 2);
  EXPECT_EQ(e.Message(),
            "Length from Encryptionkey is invalid.\r\nKeysize for TCipher_Blowfish must be to 0-56 bytes");
  EXPECT_FALSE(c->GetFlag(1));
  EXPECT_EQ(Str(c->InitVector(), 8), std::string(8, '\xFF'));
  EXPECT_EQ(CipherErrorOf([&] { Encode(*c, Block); }).FaultCode(), 3);
  // 56 bytes are still fine.
  c->Init(Key60.data(), 56, nullptr);
  EXPECT_TRUE(c->GetFlag(1));
}

// Blowfish has no schedule without key bytes: an empty key is refused and
// leaves the object uninitialized, whatever it held before.
TEST_F(BlowfishKeySize, EmptyKeyIsRefused) {
  auto c = Keyed("an earlier key");
  for (int32_t size : {0, -5}) {
    const ECipherException e = CipherErrorOf([&] { c->Init("abc", size, nullptr); });
    EXPECT_EQ(e.FaultCode(), 2);
    EXPECT_EQ(e.Message(),
              "Length from Encryptionkey is invalid.\r\nKeysize for TCipher_Blowfish must be to 1-56 bytes");
    EXPECT_FALSE(c->GetFlag(1));
  }
  EXPECT_EQ(CipherErrorOf([&] { c->Init(nullptr, 8, nullptr); }).FaultCode(), 2);
  EXPECT_EQ(CipherErrorOf([&] { Encode(*c, Block); }).FaultCode(), 3);
}

}  // namespace
}  // namespace limpet

// TCipher_Blowfish: the published vectors through the class, its class
// values and self-test, and its key handling.
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

std::string Encode(TCipher& c, const std::string& data) {
  std::string out(data.size(), '\0');
  c.EncodeBuffer(data.data(), out.data(), static_cast<int32_t>(data.size()));
  return out;
}

std::string Decode(TCipher& c, const std::string& data) {
  std::string out(data.size(), '\0');
  c.DecodeBuffer(data.data(), out.data(), static_cast<int32_t>(data.size()));
  return out;
}

// The published ECB test set of the algorithm, 8-byte keys: key, plaintext,
// ciphertext.
TEST(Blowfish, PublishedEcbVectorsThroughTheClass) {
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
  static_assert(sizeof(cases) / sizeof(cases[0]) == 34);
  for (const auto& c : cases) {
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

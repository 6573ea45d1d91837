// TMAC: a hash keyed with a password.
#include "CipherTestSupport.h"

namespace limpet {
namespace {

using namespace cipher_test;
using test::FromHex;

const std::string kInitialState = FromHex("01 23 45 67 89 AB CD EF FE DC BA 98 76 54 32 10");

std::string Xor(std::string a, const std::string& b) {
  XORBuffers(a.data(), b.data(), static_cast<int32_t>(a.size()), a.data());
  return a;
}

// A keyed MD4 is MD4 from the standard chaining value XOR the MD4 digest of
// the password; the final block counts the message bytes only.
TEST(MAC, KeyedMD4StartsFromTheXoredChainingValue) {
  struct TCase {
    std::string Password;
    std::string Message;
  };
  const TCase cases[] = {
      {"key", "abc"},
      {"password", ""},
      {std::string("p\0w", 3), test::RandomBytes(200, 1)},
      {std::string(100, 'k'), "The quick brown fox jumps over the lazy dog"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Password);
    const std::string expected = MD4From(Xor(kInitialState, MD4Of(c.Password)), c.Message);
    EXPECT_EQ(THash_MD4::CalcString(c.Message, new TMAC(c.Password), fmtCOPY), expected);

    // Every Init keys the hash again.
    auto h = MakeRef<THash_MD4>(new TMAC(c.Password));
    for (int round = 0; round < 2; ++round) {
      h->Init();
      h->Calc(c.Message.data(), static_cast<int32_t>(c.Message.size()));
      h->Done();
      EXPECT_EQ(h->DigestStr(fmtCOPY), expected);
    }
  }
}

TEST(MAC, EmptyPasswordLeavesTheHashUnkeyed) {
  EXPECT_EQ(THash_MD4::CalcString("abc", new TMAC(""), fmtHEX), "A448017AAF21D8525FC10AE87AA6729D");
}

// A link of the TMAC acts twice: the password's digest is made by a hash
// linked to it, and the final digest passes through it. An MD4 object as
// that link replaces each digest by its own digest. The whole chain handed
// to the call goes with it.
TEST(MAC, ALinkOfTheMACActsOnTheKeyAndTheResult) {
  const std::string key = MD4Of(MD4Of("pw"));
  const std::string expected = MD4Of(MD4From(Xor(kInitialState, key), "message"));
  auto* scrambler = new THash_MD4();
  auto* mac = new TMAC("pw", scrambler);
  EXPECT_EQ(THash_MD4::CalcString("message", mac, fmtCOPY), expected);
  EXPECT_FALSE(Alive(mac));
  EXPECT_FALSE(Alive(scrambler));
}

// The keystream of a keyed hash depends on the key: only the same key
// decodes.
TEST(MAC, KeyedKeystreamDecodesOnlyUnderTheSameKey) {
  const std::string plain = test::RandomBytes(100, 2);
  std::string coded = plain;
  MakeRef<THash_MD4>(new TMAC("k1"))->CodeBuffer(coded.data(), 100, paEncode);
  std::string unkeyed = plain;
  MakeRef<THash_MD4>()->CodeBuffer(unkeyed.data(), 100, paEncode);
  EXPECT_NE(coded, unkeyed);

  std::string wrong = coded;
  MakeRef<THash_MD4>(new TMAC("k2"))->CodeBuffer(wrong.data(), 100, paDecode);
  EXPECT_NE(wrong, plain);
  MakeRef<THash_MD4>(new TMAC("k1"))->CodeBuffer(coded.data(), 100, paDecode);
  EXPECT_EQ(coded, plain);
}

}  // namespace
}  // namespace limpet

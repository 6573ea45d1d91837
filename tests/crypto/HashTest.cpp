// THash and THash_MD4: known digests through the class-level operations,
// the protocol, streams and files, the protection passed along, and a hash
// as a link of a coding chain.
#include "CipherTestSupport.h"

namespace limpet {
namespace {

using namespace cipher_test;
using test::FromHex;
using test::ToHex;

struct TDigestCase {
  std::string Message;
  const char* Digest;  // upper-case hexadecimal
};

// RFC 1320, appendix A.5.
const TDigestCase kRfc1320[] = {
    {"", "31D6CFE0D16AE931B73C59D7E0C089C0"},
    {"a", "BDE52CB31DE33E46245E05FBDBD6FB24"},
    {"abc", "A448017AAF21D8525FC10AE87AA6729D"},
    {"message digest", "D9130A8164549FE818874806E1C7014B"},
    {"abcdefghijklmnopqrstuvwxyz", "D79E1C308AA5BBCDEEA8ED63DF412DA9"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "043F8582F241DB351CE627E153E7F0E4"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "E33B4DDC9C38F2199C3E7B164FCC0536"},
};

TEST(HashMD4, RfcTestSuiteThroughTheClassLevelDigests) {
  const THashClass* cls = THash_MD4::Class();
  for (const auto& c : kRfc1320) {
    SCOPED_TRACE(c.Message);
    EXPECT_EQ(THash_MD4::CalcString(c.Message, nullptr, fmtHEX), c.Digest);
    EXPECT_EQ(THash_MD4::CalcBuffer(c.Message.data(), static_cast<int32_t>(c.Message.size()), nullptr, fmtHEX),
              c.Digest);
    EXPECT_EQ(cls->CalcString(c.Message, nullptr, fmtCOPY), FromHex(c.Digest));
  }
}

// Fed in pieces of any size, the message gives the digest of the whole.
// Up to 55 bytes the length fits into the last block; from 56 on it needs
// a block of its own. Digests from OpenSSL's MD4.
TEST(HashMD4, PiecesAndPaddingBoundaries) {
  const TDigestCase cases[] = {
      {std::string(55, 'a'), "C889C81DD86C4D2E025778944EA02881"},
      {std::string(56, 'a'), "D5F9A9E9257077A5F08B0B92F348B0AD"},
      {std::string(64, 'a'), "52F5076FABD22680234A3FA9F9DC5732"},
      {std::string(119, 'a'), "E65DD227CCEF97FA1D34D70189120F76"},
      {std::string(120, 'a'), "B03DDBD470B47C013E0C7AB2DDD763DB"},
      {kRfc1320[6].Message, kRfc1320[6].Digest},
  };
  auto h = MakeRef<THash_MD4>();
  for (const auto& c : cases) {
    for (size_t piece : {1, 3, 16, 55, 63, 64, 65, 200}) {
      SCOPED_TRACE(testing::Message() << c.Message.size() << " bytes in pieces of " << piece);
      h->Init();
      for (size_t pos = 0; pos < c.Message.size(); pos += piece)
        h->Calc(c.Message.data() + pos, static_cast<int32_t>(std::min(piece, c.Message.size() - pos)));
      h->Calc("ignored", 0);
      h->Calc("ignored", -1);
      h->Done();
      EXPECT_EQ(h->DigestStr(fmtHEX), c.Digest);
    }
  }
}

TEST(HashMD4, ClassValuesAndSelfTest) {
  EXPECT_TRUE(THash_MD4::SelfTest());
  EXPECT_EQ(THash_MD4::Class()->DigestKeySize(), 16);
  EXPECT_EQ(ToHex(Str(THash_MD4::Class()->TestVector(), 16)), "25 EA BF CC 8C C9 6F D9 2D CF 7E BD 7F 87 7C 7C");
  EXPECT_EQ(THash_MD4::CalcString(TestVector32(), nullptr, fmtCOPY), Str(THash_MD4::Class()->TestVector(), 16));
  EXPECT_EQ(THash_MD4::Class()->Identity(), 0x6678);
  EXPECT_EQ(GetShortClassName(THash_MD4::Class()), "MD4");

  // A class reference makes instances of its class.
  const THashClass* cls = THash_MD4::Class();
  TRef<THash> h(cls->CreateHash(nullptr));
  ASSERT_TRUE(h);
  EXPECT_EQ(h->ClassType(), THash_MD4::Class());
  EXPECT_EQ(h->DigestKeySize(), 16);
  h->Init();
  h->Calc("abc", 3);
  h->Done();
  EXPECT_EQ(h->DigestStr(fmtHEXL), "a448017aaf21d8525fc10ae87aa6729d");
  EXPECT_EQ(h->DigestStr(fmtNONE), "");
  EXPECT_EQ(THash_MD4::CalcString("abc", nullptr, fmtNONE), "");
}

// THash itself has no digest: empty results, a self-test that reflects only
// the start-up test, and coding that leaves the data as it is.
TEST(HashBase, EmptyDigest) {
  EXPECT_EQ(THash::Class()->DigestKeySize(), 0);
  EXPECT_EQ(THash::CalcString("abc", nullptr, fmtHEX), "");
  EXPECT_EQ(THash::SelfTest(), InitTestIsOk);
  auto h = MakeRef<THash>();
  for (TPAction a : {paEncode, paDecode, paScramble, paWipe, paCalc}) {
    std::string data = "abcdef";
    h->CodeBuffer(data.data(), 6, a);
    EXPECT_EQ(data, "abcdef") << int(a);
  }
}

// ------------------------------------------------------------ streams and files

TEST(HashStreams, SizesPositionsAndProgress) {
  const std::string data = test::RandomBytes(10000, 3);
  auto s = StreamOf(data);
  {
    TProgressRecorder progress;
    s->SetPosition(500);
    EXPECT_EQ(THash_MD4::CalcStream(*s, -1, nullptr, fmtCOPY), MD4Of(data));  // all of it, from 0
    EXPECT_EQ(progress.Log, (TProgressLog{{0, 10000}, {4096, 10000}, {8192, 10000}, {10000, 10000}, {0, 0}}));
    ASSERT_EQ(progress.Senders.size(), 5u);
    EXPECT_NE(progress.Senders[0], nullptr);
    EXPECT_FALSE(Alive(progress.Senders[0]));  // the temporary hash is gone
  }
  s->SetPosition(100);
  EXPECT_EQ(THash_MD4::CalcStream(*s, 50, nullptr, fmtCOPY), MD4Of(data.substr(100, 50)));
  s->SetPosition(9990);
  EXPECT_EQ(THash_MD4::CalcStream(*s, 100, nullptr, fmtCOPY), MD4Of(data.substr(9990)));  // ends early
  EXPECT_EQ(THash_MD4::CalcStream(*s, 0, nullptr, fmtCOPY), MD4Of(""));
}

TEST(HashFiles, CalcFileDigestsTheWholeFileAndReleasesOnError) {
  test::TTempDir dir;
  const std::string data = test::RandomBytes(9000, 4);
  test::WriteFileBytes(dir.File("f"), data);
  EXPECT_EQ(THash_MD4::CalcFile(dir.File("f"), nullptr, fmtCOPY), MD4Of(data));
  TFileStream closed(dir.File("f"), fmOpenReadWrite | fmShareExclusive);  // nothing left open

  auto* protection = new THash_MD4();
  EXPECT_THROW(THash_MD4::CalcFile(dir.File("missing"), protection), EFOpenError);
  EXPECT_FALSE(Alive(protection));
}

// ------------------------------------------------------------ the passed protection

// A protection that is not a TMAC transforms the finished digest: an MD4
// object as the link replaces it by its own digest. One that nobody else
// holds is destroyed when the call ends, also when the call fails.
TEST(HashProtection, ScramblesTheDigestAndIsHeldOnlyForTheCall) {
  auto* scrambler = new THash_MD4();
  EXPECT_EQ(THash_MD4::CalcString("abc", scrambler, fmtCOPY), MD4Of(MD4Of("abc")));
  EXPECT_FALSE(Alive(scrambler));

  auto held = MakeRef<THash_MD4>();
  EXPECT_EQ(THash_MD4::CalcBuffer("abc", 3, held.Get(), fmtCOPY), MD4Of(MD4Of("abc")));
  EXPECT_EQ(held->RefCount(), 1);

  auto* failing = new THash_MD4();
  EXPECT_THROW(THash_MD4::CalcString("abc", failing, 12345), EStringFormat);  // no such format
  EXPECT_FALSE(Alive(failing));
}

// ------------------------------------------------------------ chain link

const std::string kInitialState = FromHex("01 23 45 67 89 AB CD EF FE DC BA 98 76 54 32 10");

// The keystream of an unkeyed MD4: the first digest is MD4 of the 16 bytes
// of the initial chaining value; each further one continues from the
// previous digest over zero bytes for what came before and the previous
// digest, with the whole count in the final block.
TEST(HashChain, KeystreamContinuesFromTheFinishedDigest) {
  const std::string k1 = MD4Of(kInitialState);
  const std::string k2 = MD4From(k1, std::string(16, '\0') + k1);
  const std::string k3 = MD4From(k2, std::string(32, '\0') + k2);
  const std::string keystream = k1 + k2 + k3.substr(0, 8);

  auto h = MakeRef<THash_MD4>();
  std::string data(40, '\0');
  EXPECT_EQ(h->CodeBuffer(data.data(), 40, paEncode), 40);
  EXPECT_EQ(ToHex(data), ToHex(keystream));

  // CodeInit starts from Init: the same keystream again, and it decodes.
  const std::string plain = test::RandomBytes(40, 9);
  std::string coded = plain;
  h->CodeBuffer(coded.data(), 40, paEncode);
  EXPECT_EQ(coded, [&] {
    std::string x = plain;
    XORBuffers(x.data(), keystream.data(), 40, x.data());
    return x;
  }());
  auto other = MakeRef<THash_MD4>();
  other->CodeBuffer(coded.data(), 40, paDecode);
  EXPECT_EQ(coded, plain);
}

// The drivers code in blocks of 4096 bytes, a multiple of the digest size:
// a stream gives the same keystream as one buffer.
TEST(HashChain, StreamsAndBuffersShareTheKeystream) {
  const std::string plain = test::TextBytes(10000, 2);
  std::string buffer = plain;
  auto h = MakeRef<THash_MD4>();
  h->CodeBuffer(buffer.data(), static_cast<int32_t>(buffer.size()), paEncode);
  auto s = StreamOf(plain);
  h->CodeStream(s.get(), nullptr, -1, paEncode);
  EXPECT_EQ(s->DataString(), buffer);
  h->CodeStream(s.get(), nullptr, -1, paDecode);
  EXPECT_EQ(s->DataString(), plain);
}

// paScramble replaces the data by digests of itself, the same every time;
// paWipe starts from a random state and differs every time.
TEST(HashChain, ScrambleIsDeterministicWipeIsNot) {
  const std::string plain = "abcdefghijklmnopqrst";
  const std::string d1 = MD4Of(plain.substr(0, 16));
  const std::string expected = d1 + MD4From(d1, std::string(16, '\0') + "qrst").substr(0, 4);
  auto h = MakeRef<THash_MD4>();
  std::string a = plain, b = plain, w1 = plain, w2 = plain;
  h->CodeBuffer(a.data(), 20, paScramble);
  h->CodeBuffer(b.data(), 20, paScramble);
  EXPECT_EQ(a, expected);
  EXPECT_EQ(b, expected);
  h->CodeBuffer(w1.data(), 20, paWipe);
  h->CodeBuffer(w2.data(), 20, paWipe);
  EXPECT_NE(w1, plain);
  EXPECT_NE(w1, w2);
  EXPECT_NE(w1, expected);
}

// paCalc passes the data unchanged and leaves the digest readable.
TEST(HashChain, CalcThroughAStreamEqualsCalcStream) {
  const std::string data = test::RandomBytes(10000, 8);
  auto s = StreamOf(data);
  auto h = MakeRef<THash_MD4>();
  h->CodeStream(s.get(), nullptr, -1, paCalc);
  EXPECT_EQ(h->DigestStr(fmtCOPY), MD4Of(data));
  EXPECT_EQ(s->DataString(), data);

  auto keyed = MakeRef<THash_MD4>(new TMAC("key"));
  keyed->CodeStream(s.get(), nullptr, -1, paCalc);
  EXPECT_EQ(keyed->DigestStr(fmtCOPY), THash_MD4::CalcStream(*s, -1, new TMAC("key"), fmtCOPY));
}

}  // namespace
}  // namespace limpet

// TCipher: keys from passwords, the state, the key hash, the base class, the
// chain overrides, streams and files.
#include <sys/stat.h>
#include <unistd.h>

#include "CipherTestSupport.h"

namespace limpet {
namespace {

using namespace cipher_test;
using test::FromHex;
using test::ToHex;

std::string Encode(TCipher& c, const std::string& data) {
  std::string out(data.size(), '\0');
  c.EncodeBuffer(data.data(), out.data(), static_cast<int32_t>(data.size()));
  return out;
}

// Exposes the key schedule of a Blowfish object.
class TProbeBlowfish : public TCipher_Blowfish {
 public:
  using TCipher_Blowfish::TCipher_Blowfish;
  std::string ContextBytes() const { return Str(Context(), 4168); }
};

// ------------------------------------------------------------ keys from passwords

// The key is the MD4 digest of the password, and the initial vector the
// encryption of an all-0xFF block under it. For "secret" OpenSSL gives
// MD4 67D3DAFEF63FF00603AEEF3769CFBF0D and, under that key, BF-ECB of
// FF..FF = 95D0D31019512E6D.
TEST(CipherKeys, PasswordKeyIsDerivedAtConstruction) {
  auto c = MakeRef<TCipher_Blowfish>("secret");
  EXPECT_TRUE(c->GetFlag(0));
  EXPECT_TRUE(c->GetFlag(1));
  EXPECT_EQ(c->Mode(), cmCTS);
  EXPECT_EQ(ToHex(Str(c->InitVector(), 8)), "95 D0 D3 10 19 51 2E 6D");
  EXPECT_EQ(Str(c->FeedbackBlock(), 8), Str(c->InitVector(), 8));

  const std::string data = test::RandomBytes(50, 1);
  const std::string expected = Encode(*c, data);
  auto later = MakeRef<TCipher_Blowfish>();
  later->InitKey("secret", nullptr);
  EXPECT_EQ(Encode(*later, data), expected);
  auto raw = MakeRef<TCipher_Blowfish>();
  const std::string key = FromHex("67D3DAFEF63FF00603AEEF3769CFBF0D");
  raw->Init(key.data(), 16, nullptr);
  EXPECT_EQ(Encode(*raw, data), expected);
  EXPECT_FALSE(raw->GetFlag(0));  // a raw key

  // A class reference creates keyed instances too.
  TCipher* made = TCipher_Blowfish::Class()->Create("secret", nullptr);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->ClassType(), TCipher_Blowfish::Class());
  EXPECT_EQ(Encode(*made, data), expected);
  made->Free();
}

// InitKey leaves no digest of the password behind in the key hash: it holds
// the digest's own encryption.
TEST(CipherKeys, TheKeyHashKeepsNoDigestOfThePassword) {
  auto c = MakeRef<TCipher_Blowfish>("secret");
  THash* h = c->Hash();
  ASSERT_TRUE(IsObject(h, THash_MD4::Class()));
  auto fresh = MakeRef<TCipher_Blowfish>("secret");
  EXPECT_EQ(h->DigestStr(fmtCOPY), Encode(*fresh, MD4Of("secret")));
}

TEST(CipherKeys, HashClass) {
  auto c = MakeRef<TCipher_Blowfish>();
  EXPECT_EQ(c->HashClass(), THash_MD4::Class());
  THash* first = c->Hash();
  EXPECT_EQ(c->Hash(), first);
  c->SetHashClass(THash_MD4::Class());  // the same class: nothing changes
  EXPECT_EQ(c->Hash(), first);
  EXPECT_EQ(first->RefCount(), 1);

  // A hash without digest gives no key bytes, which Blowfish refuses.
  c->SetHashClass(THash::Class());
  EXPECT_FALSE(Alive(first));
  EXPECT_EQ(c->Hash()->ClassType(), THash::Class());
  EXPECT_EQ(CipherErrorOf([&] { c->InitKey("secret", nullptr); }).FaultCode(), 2);
  c->SetHashClass(nullptr);
  EXPECT_EQ(c->HashClass(), THash_MD4::Class());
  c->InitKey("secret", nullptr);
  EXPECT_EQ(ToHex(Str(c->InitVector(), 8)), "95 D0 D3 10 19 51 2E 6D");
}

// Protect wipes the key material and leaves the object uninitialized; it
// also runs before every key schedule.
TEST(CipherKeys, ProtectWipesTheKeyMaterial) {
  auto c = MakeRef<TProbeBlowfish>("secret");
  EXPECT_NE(c->ContextBytes(), std::string(4168, '\0'));
  Encode(*c, "some data");
  c->Protect();
  EXPECT_FALSE(c->GetFlag(0));
  EXPECT_FALSE(c->GetFlag(1));
  EXPECT_EQ(c->ContextBytes(), std::string(4168, '\0'));
  EXPECT_EQ(Str(c->InitVector(), 8), std::string(8, '\xFF'));
  EXPECT_EQ(Str(c->FeedbackBlock(), 8), std::string(8, '\xFF'));
  EXPECT_EQ(CipherErrorOf([&] { Encode(*c, "x"); }).FaultCode(), 3);
}

// The base class has no algorithm: it never becomes initialized, and a
// password at construction is refused.
TEST(CipherBase, NeverInitialized) {
  int32_t block = -1, key = -1, context = -1;
  TCipher::GetContext(block, key, context);
  EXPECT_EQ(block + key + context, 0);
  EXPECT_FALSE(TCipher::SelfTest());

  auto c = MakeRef<TCipher>();
  EXPECT_FALSE(c->GetFlag(1));
  const ECipherException e = CipherErrorOf([&] { c->InitKey("pw", nullptr); });
  EXPECT_EQ(e.FaultCode(), 3);
  EXPECT_EQ(e.Message(), "TCipher is not initialized call Init() or InitKey() before.");
  EXPECT_EQ(CipherErrorOf([&] { MakeRef<TCipher>("pw"); }).FaultCode(), 3);
}

// ------------------------------------------------------------ chain

class CipherChain : public ::testing::Test {
 protected:
  TRef<TCipher_Blowfish> C = MakeRef<TCipher_Blowfish>("secret");
  const std::string Plain = test::RandomBytes(37, 5);
  std::string Coded(TPAction a) {
    std::string data = Plain;
    C->CodeBuffer(data.data(), 37, a);
    return data;
  }
};

// The drivers reset the chaining at both ends.
TEST_F(CipherChain, EncodeAndDecodeStartFromTheInitialVector) {
  Encode(*C, "move F away from V");
  const std::string once = Coded(paEncode);
  EXPECT_EQ(Str(C->FeedbackBlock(), 8), Str(C->InitVector(), 8));
  EXPECT_EQ(Coded(paEncode), once);
  EXPECT_EQ(once, Encode(*MakeRef<TCipher_Blowfish>("secret"), Plain));
  EXPECT_EQ(Coded(paScramble), once);
  std::string back = once;
  C->CodeBuffer(back.data(), 37, paDecode);
  EXPECT_EQ(back, Plain);
}

// paCalc continues from the chaining state and leaves it where it ends.
TEST_F(CipherChain, CalcContinuesTheChaining) {
  auto twin = MakeRef<TCipher_Blowfish>("secret");
  Encode(*twin, Plain);
  Coded(paCalc);
  EXPECT_EQ(Str(C->FeedbackBlock(), 8), Str(twin->FeedbackBlock(), 8));
}

// paWipe codes under a random feedback that is overwritten again.
TEST_F(CipherChain, WipeCodesUnderARandomFeedback) {
  const std::string a = Coded(paWipe), b = Coded(paWipe);
  EXPECT_NE(a, b);
  EXPECT_NE(a, Plain);
  EXPECT_NE(Str(C->FeedbackBlock(), 8), Str(C->InitVector(), 8));
}

// Encoding runs the link first, decoding the cipher first; actions left
// out of the set skip the cipher's own coding.
TEST_F(CipherChain, OrderWithALinkAndTheActionSet) {
  auto chained = MakeRef<TCipher_Blowfish>("secret", new THash_MD4());
  std::string data = Plain;
  chained->CodeBuffer(data.data(), 37, paEncode);
  std::string expected = Plain;
  MakeRef<THash_MD4>()->CodeBuffer(expected.data(), 37, paEncode);
  expected = Encode(*MakeRef<TCipher_Blowfish>("secret"), expected);
  EXPECT_EQ(data, expected);
  chained->CodeBuffer(data.data(), 37, paDecode);
  EXPECT_EQ(data, Plain);

  C->SetActions(TPActions{paDecode});
  EXPECT_EQ(Coded(paEncode), Plain);
}

// ------------------------------------------------------------ streams and files

TEST(CipherStreams, WholeSourceChunksAndProgress) {
  const std::string plain = test::RandomBytes(10000, 6);
  auto c = MakeRef<TCipher_Blowfish>("secret");
  const std::string expected = Encode(*MakeRef<TCipher_Blowfish>("secret"), plain);
  auto src = StreamOf(plain);
  src->SetPosition(500);
  TMemoryStream dst;
  {
    TProgressRecorder progress;
    c->EncodeStream(src.get(), &dst, -1);
    EXPECT_EQ(progress.Log, (TProgressLog{{0, 10000}, {4096, 10000}, {8192, 10000}, {10000, 10000}, {0, 0}}));
    EXPECT_EQ(progress.Senders, std::vector<TObject*>(5, c.Get()));
  }
  EXPECT_EQ(dst.DataString(), expected);
  EXPECT_EQ(dst.Position(), 10000);

  // A given size codes from the current position; a null source does
  // nothing.
  c->Done();
  src->SetPosition(0);
  TMemoryStream part;
  c->EncodeStream(src.get(), &part, 16);
  EXPECT_EQ(part.DataString(), expected.substr(0, 16));
  c->EncodeStream(nullptr, &part, -1);
  EXPECT_EQ(part.Size(), 16);
}

TEST(CipherStreams, NullDestinationCodesInPlace) {
  const std::string plain = test::TextBytes(9000, 7);
  auto c = MakeRef<TCipher_Blowfish>("secret");
  auto s = StreamOf(plain);
  c->EncodeStream(s.get(), nullptr, -1);
  EXPECT_EQ(s->DataString(), Encode(*MakeRef<TCipher_Blowfish>("secret"), plain));
  c->Done();
  c->DecodeStream(s.get(), nullptr, -1);
  EXPECT_EQ(s->DataString(), plain);
}

TEST(CipherStreams, MACModeWritesNothing) {
  const std::string plain = test::RandomBytes(5000, 8);
  auto c = MakeRef<TCipher_Blowfish>("secret");
  c->SetMode(cmCBCMAC);
  auto s = StreamOf(plain);
  TMemoryStream dst;
  c->DecodeStream(s.get(), &dst, -1);  // runs the encoding
  EXPECT_EQ(dst.Size(), 0);
  auto twin = MakeRef<TCipher_Blowfish>("secret");
  twin->SetMode(cmCBC);
  Encode(*twin, plain);
  EXPECT_EQ(c->CalcMAC(fmtHEX), twin->CalcMAC(fmtHEX));
}

class CipherFiles : public ::testing::Test {
 protected:
  test::TTempDir Dir;
  TRef<TCipher_Blowfish> C = MakeRef<TCipher_Blowfish>("secret");
  const std::string Plain = test::RandomBytes(9001, 9);
  const std::string Coded = Encode(*MakeRef<TCipher_Blowfish>("secret"), Plain);
  std::string Src = Dir.File("src");
  void SetUp() override { test::WriteFileBytes(Src, Plain); }
};

TEST_F(CipherFiles, SeparateDestinationIsCreated) {
  test::WriteFileBytes(Dir.File("dst"), std::string(20000, 'z'));  // emptied first
  C->EncodeFile(Src, Dir.File("dst"));
  EXPECT_EQ(test::ReadFileBytes(Dir.File("dst")), Coded);
  EXPECT_EQ(test::ReadFileBytes(Src), Plain);
  C->Done();
  C->DecodeFile(Dir.File("dst"), Dir.File("back"));
  EXPECT_EQ(test::ReadFileBytes(Dir.File("back")), Plain);
}

TEST_F(CipherFiles, BlankDestinationCodesInPlace) {
  C->EncodeFile(Src, "");
  EXPECT_EQ(test::ReadFileBytes(Src), Coded);
  C->Done();
  C->DecodeFile(Src, "  ");
  EXPECT_EQ(test::ReadFileBytes(Src), Plain);
}

// Another name of the same file codes it in place: the destination is never
// created over the source before it is read.
TEST_F(CipherFiles, OneFileUnderTwoNamesIsCodedInPlace) {
  ASSERT_EQ(::link(Src.c_str(), Dir.File("alias").c_str()), 0);
  ASSERT_EQ(::mkdir(Dir.File("sub").c_str(), 0700), 0);
  C->EncodeFile(Src, Dir.File("alias"));
  EXPECT_EQ(test::ReadFileBytes(Src), Coded);
  C->Done();
  C->DecodeFile(Dir.File("alias"), Dir.Path() + "/./sub/../src");
  EXPECT_EQ(test::ReadFileBytes(Src), Plain);
}

// Names that differ in letter case are two files on this file system.
TEST_F(CipherFiles, NamesDifferingInCaseAreTwoFiles) {
  C->EncodeFile(Src, Dir.File("SRC"));
  EXPECT_EQ(test::ReadFileBytes(Src), Plain);
  EXPECT_EQ(test::ReadFileBytes(Dir.File("SRC")), Coded);
}

TEST_F(CipherFiles, MACModeReadsOnly) {
  C->SetMode(cmCTSMAC);
  C->EncodeFile(Src, Dir.File("never"));
  EXPECT_FALSE(test::FileExists(Dir.File("never")));
  EXPECT_EQ(test::ReadFileBytes(Src), Plain);
  auto twin = MakeRef<TCipher_Blowfish>("secret");
  Encode(*twin, Plain);
  EXPECT_EQ(C->CalcMAC(fmtHEX), twin->CalcMAC(fmtHEX));
}

TEST_F(CipherFiles, ErrorsCloseTheFiles) {
  EXPECT_THROW(C->EncodeFile(Dir.File("missing"), Dir.File("out")), EFOpenError);
  EXPECT_THROW(C->EncodeFile(Src, Dir.File("no/such/dir/out")), EFCreateError);
  auto uninitialized = MakeRef<TCipher_Blowfish>();
  EXPECT_THROW(uninitialized->EncodeFile(Src, Dir.File("out")), ECipherException);
  EXPECT_THROW(uninitialized->EncodeFile(Src, ""), ECipherException);
  EXPECT_EQ(test::ReadFileBytes(Src), Plain);
  TFileStream a(Src, fmOpenReadWrite | fmShareExclusive);
  TFileStream b(Dir.File("out"), fmOpenReadWrite | fmShareExclusive);
}

}  // namespace
}  // namespace limpet

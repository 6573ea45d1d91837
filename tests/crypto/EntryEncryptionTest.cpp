// EncryptStream and DecryptStream: the payload of a password-protected
// entry.
//
// Known answers from make_cipher_vectors.py: MD4 of the password and the
// Blowfish blocks by OpenSSL, the cmCTS chaining and the check value
// written out from their definitions.
#include "CipherTestSupport.h"
#include "LQExcept.h"

namespace limpet {
namespace {

using namespace cipher_test;
using test::FromHex;
using test::ToHex;

std::string Encrypted(const std::string& password, const std::string& plain) {
  auto s = StreamOf(plain);
  EncryptStream(password, *s);
  EXPECT_EQ(s->Position(), 0);
  return s->DataString();
}

TEST(EntryEncryption, KnownPayloads) {
  struct TCase {
    std::string Password;
    std::string Plain;
    const char* Encrypted;
  };
  std::string counting(20, '\0');
  for (int i = 0; i < 20; ++i) counting[i] = static_cast<char>(i);
  const TCase cases[] = {
      {"secret", "Hello, world!", "D9 17 6D 47 1F 72 83 CD 46 35 FF 50 03 00 D4 8D 50"},
      {"secret", "", "00 D4 8D 50"},
      {std::string("pa\0ss", 5), counting,
       "D3 D0 8D 12 8C 1A 90 B9 7D 72 93 69 17 2C 6A D2 A9 E8 CA 2A FE FE 9B 3D"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Plain);
    EXPECT_EQ(ToHex(Encrypted(c.Password, c.Plain)), c.Encrypted);
    auto s = StreamOf(FromHex(c.Encrypted));
    DecryptStream(c.Password, *s);
    EXPECT_EQ(s->DataString(), c.Plain);
    EXPECT_EQ(s->Position(), 0);
  }
}

TEST(EntryEncryption, RoundTripsForEveryLength) {
  for (size_t size : {0, 1, 7, 8, 9, 4095, 4096, 4099, 1 << 20}) {
    SCOPED_TRACE(size);
    const std::string plain = test::RandomBytes(size, static_cast<uint32_t>(size));
    const std::string encrypted = Encrypted("correct horse", plain);
    ASSERT_EQ(encrypted.size(), size + 4);
    if (size >= 8) {
      EXPECT_NE(encrypted.substr(0, size), plain);
    }
    // The payload is one cmCTS pass of a cipher keyed from the password.
    auto c = MakeRef<TCipher_Blowfish>("correct horse");
    EXPECT_EQ(encrypted.substr(0, size), c->EncodeString(plain));
    auto s = StreamOf(encrypted);
    DecryptStream("correct horse", *s);
    EXPECT_EQ(s->Size(), static_cast<int64_t>(size));
    EXPECT_TRUE(s->DataString() == plain);
  }
}

// The check value depends on the password alone.
TEST(EntryEncryption, CheckValueDependsOnThePasswordAlone) {
  const std::string a = Encrypted("pw", "first payload"), b = Encrypted("pw", test::RandomBytes(5000, 1));
  EXPECT_EQ(a.substr(a.size() - 4), b.substr(b.size() - 4));
  EXPECT_EQ(a, Encrypted("pw", "first payload"));  // deterministic
  const std::string c = Encrypted("pw2", "first payload");
  EXPECT_NE(a.substr(a.size() - 4), c.substr(c.size() - 4));
}

TEST(EntryEncryption, WrongPasswordRaisesAndLeavesTheBytes) {
  const std::string encrypted = Encrypted("right", test::TextBytes(10000, 2));
  for (const std::string& bytes : {encrypted, std::string("abc"), std::string()}) {
    auto s = StreamOf(bytes);
    try {
      DecryptStream("wrong", *s);
      ADD_FAILURE() << "no error for " << bytes.size() << " bytes";
    } catch (const ELQIncorrectPassword& e) {
      EXPECT_EQ(e.Message(), "Incorrect password for the file entry.");
    }
    EXPECT_TRUE(s->DataString() == bytes);
  }
}

TEST(EntryEncryption, EmptyPasswordTouchesNothing) {
  const std::string data = "plain or encrypted, it stays";
  auto s = StreamOf(data);
  s->SetPosition(5);
  EncryptStream("", *s);
  DecryptStream("", *s);
  EXPECT_EQ(s->DataString(), data);
  EXPECT_EQ(s->Position(), 5);
}

// The whole content is encrypted wherever the stream stood, and the stream
// ends at position 0; progress is reported for the payload pass only.
TEST(EntryEncryption, WholeStreamFromAnyPositionWithProgress) {
  const std::string plain = test::RandomBytes(5000, 3);
  auto s = StreamOf(plain);
  s->SetPosition(1234);
  TProgressLog log;
  bool senderIsTheCipher = true;
  Progress = TProgressEvent([&](TObject* sender, int32_t current, int32_t maximal) {
    senderIsTheCipher = senderIsTheCipher && IsObject(sender, TCipher_Blowfish::Class());
    log.emplace_back(current, maximal);
  });
  EncryptStream("pw", *s);
  Progress = TProgressEvent();
  EXPECT_EQ(log, (TProgressLog{{0, 5000}, {4096, 5000}, {5000, 5000}, {0, 0}}));
  EXPECT_TRUE(senderIsTheCipher);
  EXPECT_EQ(s->Position(), 0);
  EXPECT_EQ(s->DataString(), Encrypted("pw", plain));
}

// A file stream works as well as a memory stream.
TEST(EntryEncryption, FileStream) {
  test::TTempDir dir;
  const std::string plain = test::TextBytes(7000, 4);
  test::WriteFileBytes(dir.File("payload"), plain);
  {
    TFileStream f(dir.File("payload"), fmOpenReadWrite | fmShareExclusive);
    EncryptStream("pw", f);
  }
  EXPECT_EQ(test::ReadFileBytes(dir.File("payload")), Encrypted("pw", plain));
  {
    TFileStream f(dir.File("payload"), fmOpenReadWrite | fmShareExclusive);
    DecryptStream("pw", f);
  }
  EXPECT_EQ(test::ReadFileBytes(dir.File("payload")), plain);
}

}  // namespace
}  // namespace limpet

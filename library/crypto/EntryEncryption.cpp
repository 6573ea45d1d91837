// The password encryption of a bound entry's payload: Blowfish in cmCTS
// under the MD4 digest of the password, followed by a 4-byte password check
// value (the encryption of "LMPE" from the initial chaining state).
//
// This keeps casual readers out and nothing more: the key is an unsalted
// MD4 digest, the output is deterministic, and nothing protects the
// ciphertext against changes. The format stays because stored files depend
// on it.
#include "LQCipher.h"
#include "LQExcept.h"

namespace limpet {

namespace {

constexpr const char* SIncorrectPassword = "Incorrect password for the file entry.";
constexpr const char kCheckText[] = "LMPE";
constexpr int64_t kCheckSize = 4;

TRef<TCipher_Blowfish> MakeEntryCipher(const std::string& password) {
  TRef<TCipher_Blowfish> cipher = MakeRef<TCipher_Blowfish>();
  cipher->SetMode(cmCTS);
  cipher->InitKey(password, nullptr);
  return cipher;
}

}  // namespace

// The payload is coded in place, chunk by chunk, where it stands in the
// stream: the same bytes as a pass through a second stream of its size, at
// the cost of neither the copy nor the memory.
void EncryptStream(const std::string& Password, TStream& Stream) {
  if (Password.empty()) return;
  TRef<TCipher_Blowfish> cipher = MakeEntryCipher(Password);
  Stream.SetPosition(0);
  cipher->EncodeStream(&Stream, nullptr, Stream.Size());
  Stream.Seek(0, soFromEnd);
  // The check value is coded from the initial chaining state again.
  cipher->InitKey(Password, nullptr);
  const std::string check = cipher->EncodeString(std::string(kCheckText, kCheckSize));
  Stream.WriteBuffer(check.data(), kCheckSize);
  Stream.SetPosition(0);
}

void DecryptStream(const std::string& Password, TStream& Stream) {
  if (Password.empty()) return;
  TRef<TCipher_Blowfish> cipher = MakeEntryCipher(Password);
  const int64_t size = Stream.Size();
  if (size < kCheckSize) throw ELQIncorrectPassword(SIncorrectPassword);
  Stream.Seek(-kCheckSize, soFromEnd);
  std::string check(kCheckSize, '\0');
  Stream.ReadBuffer(check.data(), kCheckSize);
  if (cipher->DecodeString(check) != std::string(kCheckText, kCheckSize))
    throw ELQIncorrectPassword(SIncorrectPassword);

  Stream.SetPosition(0);
  cipher->InitKey(Password, nullptr);
  cipher->DecodeStream(&Stream, nullptr, size - kCheckSize);
  Stream.SetSize(size - kCheckSize);
  Stream.SetPosition(0);
}

}  // namespace limpet

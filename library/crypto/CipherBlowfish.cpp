// TCipher_Blowfish: the Blowfish core behind the cipher framework.
#include <cstring>

#include "BlowfishCore.h"
#include "CipherPrivate.h"
#include "LQCipher.h"

namespace limpet {

namespace {

using TBlowfishDescriptor = TCipherClassOf<TCipher_Blowfish, TCipherClass_Blowfish>;

constexpr const char* SInvalidKeySize = "Length from Encryptionkey is invalid.\r\nKeysize for %s must be to %d-%d bytes";

// The expected cmCTS encoding of the shared test vector under the key
// "TCipher_Blowfish".
constexpr uint8_t kBlowfishTestVector[32] = {
    0x19, 0x71, 0xCA, 0xCD, 0x2B, 0x9C, 0x85, 0x29, 0xDA, 0x81, 0x47, 0xB7, 0xEB, 0xCE, 0x16, 0xC6,
    0x91, 0x0E, 0x1D, 0xC8, 0x40, 0x12, 0x3E, 0x35, 0x70, 0xED, 0xBC, 0x96, 0x4C, 0x13, 0xD0, 0xB8};

}  // namespace

LIMPET_DEFINE_CLASS_AS(TCipher_Blowfish, TCipher, TCipherClass, TBlowfishDescriptor)

void TCipherClass_Blowfish::GetContext(int32_t& blockLen, int32_t& keyLen, int32_t& contextLen) const {
  blockLen = static_cast<int32_t>(blowfish::kBlockSize);
  keyLen = blowfish::kMaxKeySize;
  contextLen = static_cast<int32_t>(sizeof(blowfish::TContext));
}

const uint8_t* TCipherClass_Blowfish::TestVector() const { return kBlowfishTestVector; }

TCipher_Blowfish::TCipher_Blowfish(const TCipherClass* cls, TProtection* protection) : TCipher(cls, protection) {}

TCipher_Blowfish::TCipher_Blowfish(const std::string& password, TProtection* protection)
    : TCipher(TCipher_Blowfish::Class(), protection) {
  if (!password.empty()) InitKey(password, nullptr);
}

namespace {

// The context area holds the schedule (it is allocated with the size and
// the alignment the schedule needs).
inline blowfish::TContext& Schedule(uint8_t* context) noexcept {
  return *reinterpret_cast<blowfish::TContext*>(context);
}

}  // namespace

void TCipher_Blowfish::Init(const void* key, int32_t size, const void* ivector) {
  InitBegin(size);
  // Blowfish mixes at least one key byte into its tables; without a key
  // there is nothing to encrypt under.
  if (size <= 0 || key == nullptr)
    throw ECipherException(FormatMessage(SInvalidKeySize, {ClassName(), 1, KeyLen()}), errCipherKeySize);
  blowfish::KeySchedule(Schedule(Context()), static_cast<const uint8_t*>(key), size);
  InitEnd(ivector);
}

void TCipher_Blowfish::Encode(void* data) {
  blowfish::EncryptBlock(Schedule(Context()), static_cast<uint8_t*>(data));
}

void TCipher_Blowfish::Decode(void* data) {
  blowfish::DecryptBlock(Schedule(Context()), static_cast<uint8_t*>(data));
}

void TCipher_Blowfish::EncodeECBBlocks(const uint8_t* source, uint8_t* dest, size_t blocks) {
  if (source != dest) std::memcpy(dest, source, blocks * blowfish::kBlockSize);
  blowfish::EncryptECB(Schedule(Context()), dest, blocks);
}

void TCipher_Blowfish::DecodeECBBlocks(const uint8_t* source, uint8_t* dest, size_t blocks) {
  if (source != dest) std::memcpy(dest, source, blocks * blowfish::kBlockSize);
  blowfish::DecryptECB(Schedule(Context()), dest, blocks);
}

void TCipher_Blowfish::EncodeCTSBlocks(const uint8_t* source, uint8_t* dest, size_t blocks) {
  blowfish::EncryptCTS(Schedule(Context()), Feedback(), source, dest, blocks);
}

void TCipher_Blowfish::DecodeCTSBlocks(const uint8_t* source, uint8_t* dest, size_t blocks) {
  blowfish::DecryptCTS(Schedule(Context()), Feedback(), source, dest, blocks);
}

}  // namespace limpet

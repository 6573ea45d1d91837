// TMAC: keys a hash with a password.
#include <algorithm>

#include "CipherPrivate.h"
#include "LQCipher.h"

namespace limpet {

using namespace cipher_internal;

namespace {
using TMACDescriptor = TProtectionClassOf<TMAC>;
}  // namespace

LIMPET_DEFINE_CLASS_AS(TMAC, TProtection, TProtectionClass, TMACDescriptor)

TMAC::TMAC(const std::string& password, TProtection* protection)
    : TProtection(protection), FMacPassword(password.data(), password.size()) {}

TMAC::~TMAC() {
  if (!FMacPassword.empty()) {
    WipeSecret(FMacPassword.data(), FMacPassword.size(), 0);
    FMacPassword.clear();
  }
}

void TMAC::Init(THash* hash) {
  if (FMacPassword.empty() || hash == nullptr) return;
  // The password's digest by a fresh instance of the hash's own class,
  // keyed or scrambled in turn by this object's link.
  std::string k = hash->ClassType()->CalcString(FMacPassword, GetProtection(), fmtCOPY);
  const int32_t size = std::min(static_cast<int32_t>(k.size()), hash->DigestKeySize());
  XORBuffers(hash->DigestKey(), k.data(), size, hash->DigestKey());
  WipeSecret(k.data(), k.size(), 0);
}

void TMAC::Done(THash* hash) {
  if (hash == nullptr) return;
  if (TProtection* link = GetProtection()) link->CodeBuffer(hash->DigestKey(), hash->DigestKeySize(), paScramble);
}

}  // namespace limpet

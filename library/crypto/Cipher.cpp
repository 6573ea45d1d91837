// TCipher: construction, keys, state, streams and files, the MAC, the chain
// overrides and the self-test. The modes themselves are in CipherModes.cpp.
#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

#include "CipherPrivate.h"
#include "LQCipher.h"

namespace limpet {

using namespace cipher_internal;

bool CheckCipherKeySize = false;

namespace {

using TCipherDescriptor = TCipherClassOf<TCipher>;

constexpr const char* SInvalidKeySize = "Length from Encryptionkey is invalid.\r\nKeysize for %s must be to %d-%d bytes";
constexpr const char* SNotInitialized = "%s is not initialized call Init() or InitKey() before.";
constexpr const char* SInvalidMACMode =
    "Invalid Ciphermode selected to produce a MAC.\r\n"
    "Please use Modes cmCBC, cmCTS, cmCFB, cmCBCMAC, cmCFBMAC or cmCTSMAC for CalcMAC.";

constexpr int32_t kFlagKeyFromPassword = 0;
constexpr int32_t kFlagInitialized = 1;

std::unique_ptr<uint8_t[]> Allocate(int32_t size) {
  return std::unique_ptr<uint8_t[]>(new uint8_t[static_cast<size_t>(std::max(size, 1))]);
}

bool IsBlank(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<uint8_t>(c) <= ' '; });
}

// Restores a process-wide flag when a scope ends.
struct TRestoreFlag {
  bool& Flag;
  bool Saved;
  ~TRestoreFlag() { Flag = Saved; }
};

}  // namespace

LIMPET_DEFINE_CLASS_AS(TCipher, TProtection, TCipherClass, TCipherDescriptor)

// ------------------------------------------------------------ descriptor

void TCipherClass::GetContext(int32_t& blockLen, int32_t& keyLen, int32_t& contextLen) const {
  blockLen = 0;
  keyLen = 0;
  contextLen = 0;
}

const uint8_t* TCipherClass::TestVector() const { return GetTestVector(); }

int32_t TCipherClass::MaxKeySize() const {
  int32_t blockLen = 0, keyLen = 0, contextLen = 0;
  GetContext(blockLen, keyLen, contextLen);
  return keyLen;
}

TCipher* TCipherClass::Create(const std::string&, TProtection*) const { return nullptr; }

bool TCipherClass::SelfTest() const {
  bool result = InitTestIsOk;
  TRestoreFlag restore{CheckCipherKeySize, CheckCipherKeySize};
  CheckCipherKeySize = false;
  uint8_t buffer[32] = {};
  try {
    TRef<TCipher> cipher(Create(std::string(), nullptr));
    if (!cipher) return false;
    cipher->SetMode(cmCTS);
    const char* name = ClassName();
    cipher->Init(name, static_cast<int32_t>(std::strlen(name)), nullptr);
    cipher->EncodeBuffer(GetTestVector(), buffer, 32);
    result = result && std::memcmp(buffer, TestVector(), 32) == 0;
    cipher->Done();
    cipher->DecodeBuffer(buffer, buffer, 32);
    result = result && std::memcmp(buffer, GetTestVector(), 32) == 0;
  } catch (...) {
    // A class that cannot code (the base class) fails its test.
    result = false;
  }
  os::WipeMemory(buffer, sizeof(buffer), 0);
  return result;
}

// ------------------------------------------------------------ construction

TCipher::TCipher(const TCipherClass* cls, TProtection* protection) : TProtection(protection) {
  FKeyHashClass = THash_MD4::Class();
  cls->GetContext(FBlockLen, FKeyLen, FContextLen);
  FBlockLen = std::max(FBlockLen, 0);
  FKeyLen = std::max(FKeyLen, 0);
  FContextLen = std::max(FContextLen, 0);
  FInitVector = Allocate(FBlockLen);
  FFeedbackBlock = Allocate(FBlockLen);
  FWorkBlock = Allocate(FBlockLen);
  FContext = Allocate(FContextLen);
  TCipher::Protect();
}

TCipher::TCipher(const std::string& password, TProtection* protection) : TCipher(TCipher::Class(), protection) {
  if (!password.empty()) InitKey(password, nullptr);
}

TCipher::~TCipher() {
  TCipher::Protect();
  TProtection* hash = FKeyHash;
  FKeyHash = nullptr;
  Release(hash);
}

// ------------------------------------------------------------ state

bool TCipher::GetFlag(int32_t index) const noexcept {
  if (index < 0 || index > 31) return false;
  return (FStateFlags >> index & 1u) != 0;
}

void TCipher::SetFlag(int32_t index, bool value) {
  if (index < 0 || index > 31) return;
  if (value) {
    FStateFlags |= 1u << index;
  } else {
    FStateFlags &= ~(1u << index);
  }
}

void TCipher::Protect() {
  SetFlag(kFlagKeyFromPassword, false);
  SetFlag(kFlagInitialized, false);
  const auto n = static_cast<size_t>(FBlockLen);
  const auto c = static_cast<size_t>(FContextLen);
  for (uint8_t pattern : {uint8_t{0xAA}, uint8_t{0x55}}) {
    os::WipeMemory(FInitVector.get(), n, pattern);
    os::WipeMemory(FFeedbackBlock.get(), n, pattern);
    os::WipeMemory(FWorkBlock.get(), n, pattern);
    os::WipeMemory(FContext.get(), c, pattern);
  }
  os::WipeMemory(FInitVector.get(), n, 0xFF);
  os::WipeMemory(FFeedbackBlock.get(), n, 0xFF);
  os::WipeMemory(FWorkBlock.get(), n, 0x00);
  os::WipeMemory(FContext.get(), c, 0x00);
}

void TCipher::CheckInitialized() const {
  if (!GetFlag(kFlagInitialized))
    throw ECipherException(FormatMessage(SNotInitialized, {ClassName()}), errCipherNotInitialized);
}

void TCipher::Init(const void*, int32_t, const void*) {}

void TCipher::Encode(void*) {}

void TCipher::Decode(void*) {}

void TCipher::InitBegin(int32_t& size) {
  SetFlag(kFlagInitialized, false);
  Protect();
  if (size < 0) size = 0;
  if (size > FKeyLen) {
    if (CheckCipherKeySize)
      throw ECipherException(FormatMessage(SInvalidKeySize, {ClassName(), 0, FKeyLen}), errCipherKeySize);
    size = FKeyLen;
  }
}

void TCipher::InitEnd(const void* ivector) {
  if (ivector == nullptr) {
    Encode(FInitVector.get());  // V holds 0xFF bytes since Protect
  } else {
    std::memcpy(FInitVector.get(), ivector, static_cast<size_t>(FBlockLen));
  }
  std::memcpy(FFeedbackBlock.get(), FInitVector.get(), static_cast<size_t>(FBlockLen));
  SetFlag(kFlagInitialized, true);
}

void TCipher::InitKey(const std::string& key, const void* ivector) {
  THash* h = GetHash();
  h->Init();
  const auto* p = reinterpret_cast<const uint8_t*>(key.data());
  size_t rest = key.size();
  do {
    const size_t n = std::min<size_t>(rest, INT32_MAX);
    h->Calc(p, static_cast<int32_t>(n));
    p += n;
    rest -= n;
  } while (rest > 0);
  h->Done();
  const int32_t digestSize = h->DigestKeySize();
  Init(h->DigestKey(), std::min(digestSize, FKeyLen), ivector);
  // The digest left in the hash object is replaced by its own encryption.
  EncodeBuffer(h->DigestKey(), h->DigestKey(), digestSize);
  Done();
  SetFlag(kFlagKeyFromPassword, true);
}

void TCipher::Done() {
  const auto n = static_cast<size_t>(FBlockLen);
  if (MemCompare(FInitVector.get(), FFeedbackBlock.get(), FBlockLen) != 0) {
    std::memcpy(FWorkBlock.get(), FFeedbackBlock.get(), n);
    std::memcpy(FFeedbackBlock.get(), FInitVector.get(), n);
  }
}

THash* TCipher::GetHash() {
  if (FKeyHash != nullptr && IsObject(FKeyHash, THash::Class())) return FKeyHash;
  FKeyHash = nullptr;
  if (FKeyHashClass == nullptr) FKeyHashClass = THash_MD4::Class();
  THash* h = FKeyHashClass->CreateHash(nullptr);
  if (h == nullptr)
    throw EProtection(std::string("Cannot create an instance of ") + FKeyHashClass->ClassName());
  AddRef(h);
  FKeyHash = h;
  return h;
}

void TCipher::SetHashClass(const THashClass* value) {
  if (value == FKeyHashClass) return;
  TProtection* old = FKeyHash;
  FKeyHash = nullptr;
  Release(old);
  FKeyHashClass = value != nullptr ? value : THash_MD4::Class();
}

// ------------------------------------------------------------ strings

namespace {

// Codes a string of any length in calls of at most 2 GiB, each a multiple of
// the block length, so that the calls chain exactly as one would.
template <class Code>
std::string CodeLongString(const std::string& source, int32_t blockLen, Code code) {
  std::string result(source.size(), '\0');
  const size_t piece = blockLen > 0 ? static_cast<size_t>(INT32_MAX / blockLen * blockLen) : INT32_MAX;
  size_t pos = 0;
  do {
    const size_t n = std::min(source.size() - pos, piece);
    code(source.data() + pos, result.data() + pos, static_cast<int32_t>(n));
    pos += n;
  } while (pos < source.size());
  return result;
}

}  // namespace

std::string TCipher::EncodeString(const std::string& source) {
  std::string result = CodeLongString(source, FBlockLen, [this](const char* s, char* d, int32_t n) {
    EncodeBuffer(s, d, n);
  });
  if (IsMACMode()) result.clear();
  return result;
}

std::string TCipher::DecodeString(const std::string& source) {
  std::string result = CodeLongString(source, FBlockLen, [this](const char* s, char* d, int32_t n) {
    DecodeBuffer(s, d, n);
  });
  if (IsMACMode()) result.clear();
  return result;
}

// ------------------------------------------------------------ streams and files

void TCipher::EncodeStream(TStream* source, TStream* dest, int64_t dataSize) {
  InternalCodeStream(source, dest, dataSize, true);
}

void TCipher::DecodeStream(TStream* source, TStream* dest, int64_t dataSize) {
  InternalCodeStream(source, dest, dataSize, false);
}

void TCipher::EncodeFile(const std::string& source, const std::string& dest) {
  InternalCodeFile(source, dest, true);
}

void TCipher::DecodeFile(const std::string& source, const std::string& dest) {
  InternalCodeFile(source, dest, false);
}

void TCipher::InternalCodeStream(TStream* source, TStream* dest, int64_t dataSize, bool encode) {
  if (source == nullptr) return;
  const bool mac = IsMACMode();
  const bool encoding = encode || mac;
  if (dest == nullptr) dest = source;
  if (dataSize < 0) {
    dataSize = source->Size();
    source->SetPosition(0);
  }
  const int64_t total = dataSize;
  try {
    ReportProgress(this, 0, total);
    auto buffer = std::make_unique<TChunkBuffer>();
    // A MAC mode writes nothing.
    CodeChunks(this, *source, mac ? nullptr : dest, dataSize, *buffer, [&](uint8_t* data, int32_t count) {
      if (encoding) {
        EncodeBuffer(data, data, count);
      } else {
        DecodeBuffer(data, data, count);
      }
    });
  } catch (...) {
    try {
      ReportProgress(this, 0, 0);
    } catch (...) {
      // The first error is the one to report.
    }
    throw;
  }
  ReportProgress(this, 0, 0);
}

void TCipher::InternalCodeFile(const std::string& source, const std::string& dest, bool encode) {
  if (IsMACMode()) {
    TFileStream src(source, fmOpenRead | fmShareDenyNone);
    InternalCodeStream(&src, &src, -1, encode);
    return;
  }
  // One file under two names is recognised by the file system's identity,
  // so that a destination that is the source under another name is never
  // created (emptied) before the source is read.
  if (!IsBlank(dest) && !os::SameFile(source, dest)) {
    TFileStream src(source, fmOpenRead | fmShareDenyNone);
    TFileStream dst(dest, fmCreate | fmShareExclusive);
    InternalCodeStream(&src, &dst, -1, encode);
    dst.SetSize(dst.Position());
  } else {
    TFileStream src(source, fmOpenReadWrite | fmShareExclusive);
    InternalCodeStream(&src, &src, -1, encode);
  }
}

// ------------------------------------------------------------ MAC

std::string TCipher::CalcMAC(int32_t format) {
  if (FCipherMode == cmOFB || FCipherMode == cmECB) throw ECipherException(SInvalidMACMode, errCipherMACMode);
  Done();
  std::string result;
  try {
    const auto n = static_cast<size_t>(FBlockLen);
    TSecretBuffer t(n);
    std::memcpy(t.Data(), FWorkBlock.get(), n);
    EncodeBuffer(t.Data(), t.Data(), FBlockLen);
    result.assign(reinterpret_cast<const char*>(FFeedbackBlock.get()), n);
    if (TProtection* link = GetProtection()) {
      result = link->CodeString(result, paScramble, format);
    } else {
      result = StrToFormat(result.data(), static_cast<int32_t>(result.size()), format);
    }
  } catch (...) {
    Done();
    throw;
  }
  Done();
  return result;
}

// ------------------------------------------------------------ chain

// The cipher's own step at both ends of a chain run: the chaining state
// returns to the initial vector, or is randomised for paWipe; paCalc goes on
// from where it stands.
void TCipher::ChainStep(TPAction action) {
  switch (action) {
    case paEncode:
    case paDecode:
    case paScramble:
      Done();
      break;
    case paWipe:
      RndXORBuffer(RndTimeSeed(), FFeedbackBlock.get(), FBlockLen);
      break;
    case paCalc:
      break;
  }
}

void TCipher::CodeInit(TPAction action) {
  CheckInitialized();
  ChainStep(action);
  TProtection::CodeInit(action);
}

void TCipher::CodeDone(TPAction action) {
  TProtection::CodeDone(action);
  ChainStep(action);
}

void TCipher::CodeBuf(void* buffer, int32_t size, TPAction action) {
  if (action == paDecode) {
    if (Actions().Contains(action)) DecodeBuffer(buffer, buffer, size);
    TProtection::CodeBuf(buffer, size, action);
  } else {
    TProtection::CodeBuf(buffer, size, action);
    if (Actions().Contains(action)) EncodeBuffer(buffer, buffer, size);
  }
}

}  // namespace limpet

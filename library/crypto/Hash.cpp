// THash: the hash protocol, the class-level digests and a hash as a link of
// a coding chain.
#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

#include "CipherPrivate.h"
#include "LQCipher.h"

namespace limpet {

using namespace cipher_internal;

namespace {
using THashDescriptor = TProtectionClassOf<THash, THashClass>;
}  // namespace

LIMPET_DEFINE_CLASS_AS(THash, TProtection, THashClass, THashDescriptor)

// ------------------------------------------------------------ descriptor

int32_t THashClass::DigestKeySize() const { return 0; }

const uint8_t* THashClass::TestVector() const { return GetTestVector(); }

THash* THashClass::CreateHash(TProtection* link) const {
  TProtection* p = Create(link);
  if (p == nullptr) return nullptr;
  if (!p->InheritsFrom(THash::Class())) {
    p->Free();
    return nullptr;
  }
  return static_cast<THash*>(p);
}

namespace {

// A temporary hash of class `cls` linked to `protection`. The protection is
// held by the returned guard as well, so that it is released when the
// operation ends even if the hash could not be made.
struct TTemporaryHash {
  TTemporaryHash(const THashClass* cls, TProtection* protection)
      : Hold(protection), Hash(cls->CreateHash(protection)) {
    if (!Hash) throw EProtection(std::string("Cannot create an instance of ") + cls->ClassName());
  }
  TProtectionHold Hold;
  TRef<THash> Hash;
};

std::string FormatDigest(THash& h, int32_t format) {
  return StrToFormat(h.DigestKey(), h.DigestKeySize(), format);
}

// Calc over any length, in pieces that fit the 32-bit size.
void CalcAll(THash& h, const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  constexpr size_t kPiece = size_t{1} << 30;
  while (size > 0) {
    const size_t n = std::min(size, kPiece);
    h.Calc(p, static_cast<int32_t>(n));
    p += n;
    size -= n;
  }
}

}  // namespace

std::string THashClass::CalcBuffer(const void* data, int32_t size, TProtection* protection,
                                   int32_t format) const {
  TTemporaryHash t(this, protection);
  THash& h = *t.Hash;
  h.Init();
  h.Calc(data, size);
  h.Done();
  return FormatDigest(h, format);
}

std::string THashClass::CalcString(const std::string& data, TProtection* protection, int32_t format) const {
  TTemporaryHash t(this, protection);
  THash& h = *t.Hash;
  h.Init();
  CalcAll(h, data.data(), data.size());
  h.Done();
  return FormatDigest(h, format);
}

std::string THashClass::CalcStream(TStream& stream, int64_t size, TProtection* protection,
                                   int32_t format) const {
  TTemporaryHash t(this, protection);
  THash& h = *t.Hash;
  auto buffer = std::make_unique<TChunkBuffer>();
  h.Init();
  if (size < 0) {
    stream.SetPosition(0);
    size = stream.Size();
  }
  const int64_t total = size;
  std::string result;
  try {
    ReportProgress(&h, 0, total);
    CodeChunks(&h, stream, nullptr, size, *buffer, [&](uint8_t* data, int32_t count) { h.Calc(data, count); });
    h.Done();
    result = FormatDigest(h, format);
  } catch (...) {
    try {
      ReportProgress(&h, 0, 0);
    } catch (...) {
      // The first error is the one to report.
    }
    throw;
  }
  ReportProgress(&h, 0, 0);
  return result;
}

std::string THashClass::CalcFile(const std::string& fileName, TProtection* protection, int32_t format) const {
  // The protection is held before the file is opened, so that a file that
  // cannot be opened still releases it.
  TProtectionHold hold(protection);
  TFileStream file(fileName, fmOpenRead | fmShareDenyNone);
  return CalcStream(file, file.Size(), protection, format);
}

bool THashClass::SelfTest() const {
  try {
    const std::string d = CalcBuffer(GetTestVector(), 32, nullptr, fmtCOPY);
    return InitTestIsOk && std::memcmp(TestVector(), d.data(), d.size()) == 0;
  } catch (...) {
    return false;
  }
}

// ------------------------------------------------------------ protocol

THash::THash(TProtection* link) : TProtection(link) {}

void THash::Init() { Protect(true); }

void THash::Calc(const void*, int32_t) {}

void THash::Done() { Protect(false); }

// An empty digest: the address is valid for zero bytes and never written.
uint8_t* THash::DigestKey() { return const_cast<uint8_t*>(GetTestVector()); }

std::string THash::DigestStr(int32_t format) { return StrToFormat(DigestKey(), DigestKeySize(), format); }

void THash::Protect(bool reset) {
  TProtection* link = GetProtection();
  if (link == nullptr) return;
  if (IsObject(link, TMAC::Class())) {
    auto* mac = static_cast<TMAC*>(link);
    if (reset) {
      mac->Init(this);
    } else {
      mac->Done(this);
    }
  } else if (!reset) {
    link->CodeBuffer(DigestKey(), DigestKeySize(), paScramble);
  }
}

// ------------------------------------------------------------ chain link

void THash::CodeInit(TPAction action) {
  Init();
  if (action == paWipe) RndXORBuffer(RndTimeSeed(), DigestKey(), DigestKeySize());
  TProtection::CodeInit(action);
}

void THash::CodeDone(TPAction action) {
  TProtection::CodeDone(action);
  if (action == paCalc) {
    Done();
  } else {
    Init();
  }
}

void THash::CodeBuf(void* buffer, int32_t size, TPAction action) {
  if (action != paDecode) TProtection::CodeBuf(buffer, size, action);
  if (Actions().Contains(action) && buffer != nullptr) {
    auto* data = static_cast<uint8_t*>(buffer);
    const int32_t d = DigestKeySize();
    if (action == paCalc) {
      Calc(data, size);
    } else if (d > 0) {
      // The digest is fed back as data from a copy, so that Calc never reads
      // the state it is changing. The copy is keystream: it is wiped.
      TSecretBuffer feed(static_cast<size_t>(d));
      for (int32_t pos = 0; pos < size; pos += d) {
        const int32_t chunk = std::min(d, size - pos);
        if (action == paScramble || action == paWipe) {
          Calc(data + pos, chunk);
          Done();
          std::memcpy(data + pos, DigestKey(), static_cast<size_t>(chunk));
        } else {
          std::memcpy(feed.Data(), DigestKey(), feed.Size());
          Calc(feed.Data(), d);
          Done();
          XORBuffers(data + pos, DigestKey(), chunk, data + pos);
        }
      }
    }
    // A hash without a digest cannot advance through the data: it leaves
    // the data as it is.
  }
  if (action == paDecode) TProtection::CodeBuf(buffer, size, action);
}

}  // namespace limpet

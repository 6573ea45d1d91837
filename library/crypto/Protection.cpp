// TProtection: the link, reference counting, the coding protocol and its
// drivers over buffers, strings, streams and files.
#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

#include "CipUtils.h"
#include "CodingLoop.h"
#include "LQOS.h"

namespace limpet {

namespace {

using TProtectionDescriptor = TProtectionClassOf<TProtection>;

constexpr const char* SCircularProtection =
    "Circular Protection detected, Protection Object is invalid.";

using coding_internal::CodeChunks;
using coding_internal::ReportProgress;
using coding_internal::TChunkBuffer;

bool IsBlank(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<uint8_t>(c) <= ' '; });
}

}  // namespace

LIMPET_DEFINE_CLASS_AS(TProtection, TInterfacedObject, TProtectionClass, TProtectionDescriptor)

// ------------------------------------------------------------ descriptor

uint16_t TProtectionClass::Identity() const noexcept {
  const char* name = ClassName();
  return static_cast<uint16_t>(~CRC16(IdentityBase, name, static_cast<uint32_t>(std::strlen(name))));
}

TProtection* TProtectionClass::Create(TProtection*) const { return nullptr; }

// ------------------------------------------------------------ link and counts

TProtection::TProtection(TProtection* link) {
  SetProtection(link);
  FActionSet = TPActions::All();
}

TProtection::~TProtection() { SetProtection(nullptr); }

TProtection* TProtection::GetProtection() noexcept {
  if (FLink != nullptr && !IsObject(FLink, TProtection::Class())) FLink = nullptr;
  return FLink;
}

void TProtection::SetProtection(TProtection* value) {
  if (value == FLink) return;
  for (TProtection* p = value; IsObject(p, TProtection::Class()); p = p->FLink) {
    if (p == this) throw EProtection(SCircularProtection);
  }
  // The new link is referenced before the old one is released, so that an
  // object reachable only through the old link survives being linked here.
  AddRef(value);
  TProtection* old = FLink;
  FLink = value;
  Release(old);
}

int32_t TProtection::AddRef(TProtection* p) noexcept {
  if (!IsObject(p, TProtection::Class())) return 0;
  return p->_AddRef();
}

int32_t TProtection::Release(TProtection* p) {
  if (!IsObject(p, TProtection::Class())) return 0;
  return p->_Release();
}

// ------------------------------------------------------------ protocol

void TProtection::CodeInit(TPAction action) {
  if (TProtection* link = GetProtection()) link->CodeInit(action);
}

void TProtection::CodeDone(TPAction action) {
  if (TProtection* link = GetProtection()) link->CodeDone(action);
}

void TProtection::CodeBuf(void* buffer, int32_t size, TPAction action) {
  if (TProtection* link = GetProtection()) link->CodeBuf(buffer, size, action);
}

int32_t TProtection::CodeBuffer(void* buffer, int32_t size, TPAction action) {
  CodeInit(action);
  try {
    CodeBuf(buffer, size, action);
  } catch (...) {
    try {
      CodeDone(action);
    } catch (...) {
      // The coding error is the one to report.
    }
    throw;
  }
  CodeDone(action);
  return size;
}

void TProtection::CodeStream(TStream* source, TStream* dest, int64_t size, TPAction action) {
  if (source == nullptr) return;
  if (dest == nullptr) dest = source;
  if (size < 0) {
    size = source->Size();
    source->SetPosition(0);
  }
  CodeInit(action);
  const int64_t total = size;
  auto buffer = std::make_unique<TChunkBuffer>();

  auto finish = [&]() {
    try {
      ReportProgress(this, 0, 0);
    } catch (...) {
      buffer.reset();
      CodeDone(action);
      throw;
    }
    buffer.reset();
    CodeDone(action);
  };

  try {
    ReportProgress(this, 0, total);
    // With paCalc the destination is never touched.
    CodeChunks(this, *source, action == paCalc ? nullptr : dest, size, *buffer,
               [&](uint8_t* data, int32_t count) { CodeBuf(data, count, action); });
  } catch (...) {
    try {
      finish();
    } catch (...) {
      // The first error is the one to report.
    }
    throw;
  }
  finish();
}

void TProtection::CodeFile(const std::string& source, const std::string& dest, TPAction action) {
  // One file under two names is recognised by the file system's identity,
  // so that a destination that is the source under another name is never
  // created (emptied) before the source is read, and two names that differ
  // only in letter case stay two files where the file system says so.
  const bool blank = IsBlank(dest);
  const bool same = !blank && os::SameFile(source, dest);
  const bool inPlace = same || (blank && action != paCalc);
  const bool separate = !same && !blank && action != paCalc;

  auto src = std::make_unique<TFileStream>(
      source, inPlace ? (fmOpenReadWrite | fmShareExclusive) : (fmOpenRead | fmShareDenyNone));
  std::unique_ptr<TFileStream> dst;
  if (separate) dst = std::make_unique<TFileStream>(dest, fmCreate | fmShareExclusive);

  try {
    CodeStream(src.get(), dst ? dst.get() : src.get(), src->Size(), action);
  } catch (...) {
    src.reset();
    if (dst) {
      try {
        dst->SetSize(dst->Position());
      } catch (...) {
        // The coding error is the one to report.
      }
    }
    throw;
  }
  src.reset();
  // Cut off whatever lay behind the last block written.
  if (dst) dst->SetSize(dst->Position());
}

std::string TProtection::CodeString(const std::string& source, TPAction action, int32_t format) {
  if (source.empty()) return std::string();
  TMemoryStream stream;
  struct TWipe {
    TMemoryStream& S;
    ~TWipe() { os::WipeMemory(S.Memory(), static_cast<size_t>(S.Capacity()), 0); }
  } wipe{stream};

  if (action == paDecode) {
    std::string bytes = FormatToStr(source, format);
    if (!bytes.empty()) stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    os::WipeMemory(bytes.data(), bytes.size(), 0);
  } else {
    stream.WriteBuffer(source.data(), static_cast<int64_t>(source.size()));
  }
  stream.SetPosition(0);
  CodeStream(&stream, &stream, stream.Size(), action);
  if (action == paDecode) return stream.DataString();
  return StrToFormat(stream.Memory(), static_cast<int32_t>(stream.Size()), format);
}

}  // namespace limpet

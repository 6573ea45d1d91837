// The built-in string formats: plain copy, hexadecimal (upper and lower
// case), base 64, UU and XX.
#include <array>
#include <bit>
#include <cstring>
#include <memory>

#include "CipUtils.h"

namespace limpet {

namespace {
using TCopyDescriptor = TClassOf<TStringFormat, TStringFormatClass>;
using THexDescriptor = TClassOf<TStringFormat_HEX, TStringFormatClass_HEX>;
using THexLDescriptor = TClassOf<TStringFormat_HEXL, TStringFormatClass_HEXL>;
using TMime64Descriptor = TClassOf<TStringFormat_MIME64, TStringFormatClass_MIME64>;
using TUUDescriptor = TClassOf<TStringFormat_UU, TStringFormatClass_UU>;
using TXXDescriptor = TClassOf<TStringFormat_XX, TStringFormatClass_XX>;
}  // namespace

LIMPET_DEFINE_CLASS_AS(TStringFormat, TObject, TStringFormatClass, TCopyDescriptor)
LIMPET_DEFINE_CLASS_AS(TStringFormat_HEX, TStringFormat, TStringFormatClass, THexDescriptor)
LIMPET_DEFINE_CLASS_AS(TStringFormat_HEXL, TStringFormat_HEX, TStringFormatClass, THexLDescriptor)
LIMPET_DEFINE_CLASS_AS(TStringFormat_MIME64, TStringFormat_HEX, TStringFormatClass, TMime64Descriptor)
LIMPET_DEFINE_CLASS_AS(TStringFormat_UU, TStringFormat, TStringFormatClass, TUUDescriptor)
LIMPET_DEFINE_CLASS_AS(TStringFormat_XX, TStringFormat_UU, TStringFormatClass, TXXDescriptor)

namespace {

constexpr const char* SInvalidFormatInput = "Input is not an valid %s Format.";

// ------------------------------------------------------------ tables

// Digits (or alphabet) first, then the characters a text may contain
// besides its data.
constexpr char kTableHEX[] = "0123456789ABCDEFX$ abcdefhHx()[]{},;:-_/\\*+\"'\t\n\r";
constexpr char kTableHEXL[] = "0123456789abcdefX$ ABCDEFhHx()[]{},;:-_/\\*+\"'\t\n\r";
constexpr char kTableMIME64[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"
    "= $()[]{},;:-_\\*\"'\t\n\r";
constexpr char kTableUU[] =
    "`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_"
    " \t\n\r";
constexpr char kTableXX[] =
    "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
    " \"()[]'\t\n\r";

static_assert(sizeof(kTableHEX) - 1 == 48 && sizeof(kTableHEXL) - 1 == 48);
static_assert(sizeof(kTableMIME64) - 1 == 85);
static_assert(sizeof(kTableUU) - 1 == 68 && sizeof(kTableXX) - 1 == 74);

const uint8_t* Bytes(const void* p) { return static_cast<const uint8_t*>(p); }

// Membership of every byte value in a whole character table.
struct TCharSet {
  std::array<bool, 256> In{};
};

constexpr TCharSet MakeCharSet(const char* table) {
  TCharSet s;
  for (const char* c = table; *c != 0; ++c) s.In[static_cast<uint8_t>(*c)] = true;
  return s;
}

constexpr TCharSet kSetHEX = MakeCharSet(kTableHEX);
constexpr TCharSet kSetHEXL = MakeCharSet(kTableHEXL);
constexpr TCharSet kSetMIME64 = MakeCharSet(kTableMIME64);
constexpr TCharSet kSetUU = MakeCharSet(kTableUU);
constexpr TCharSet kSetXX = MakeCharSet(kTableXX);

TCharSet CharSetOf(const char* table) {
  if (table == kTableHEX) return kSetHEX;
  if (table == kTableHEXL) return kSetHEXL;
  if (table == kTableMIME64) return kSetMIME64;
  if (table == kTableUU) return kSetUU;
  if (table == kTableXX) return kSetXX;
  return MakeCharSet(table != nullptr ? table : "");
}

bool AllInSet(const TCharSet& set, const uint8_t* p, int32_t len) {
  // No branch on the data: four independent accumulators.
  unsigned a = 1, b = 1, c = 1, d = 1;
  int32_t i = 0;
  for (; i + 4 <= len; i += 4) {
    a &= set.In[p[i]];
    b &= set.In[p[i + 1]];
    c &= set.In[p[i + 2]];
    d &= set.In[p[i + 3]];
  }
  for (; i < len; ++i) a &= set.In[p[i]];
  return (a & b & c & d) != 0;
}

// Base 64 text is nearly all alphabet: blocks of 64 characters are first
// tested against the alphabet's ranges, sixteen at a time, and only a block
// that holds anything else is looked up character by character.
bool AllInBase64Table(const uint8_t* p, int32_t len) {
  typedef uint8_t TBytes16 __attribute__((vector_size(16)));
  auto inAlphabet = [](const uint8_t* q) {
    TBytes16 c;
    std::memcpy(&c, q, 16);
    return (TBytes16)(((TBytes16)(c - 'A') < 26) | ((TBytes16)(c - 'a') < 26) | ((TBytes16)(c - '0') < 10) |
                      (c == '+') | (c == '/') | (c == '='));
  };
  int32_t i = 0;
  bool ok = true;
  for (; i + 64 <= len; i += 64) {
    const TBytes16 all = inAlphabet(p + i) & inAlphabet(p + i + 16) & inAlphabet(p + i + 32) &
                         inAlphabet(p + i + 48);
    uint64_t half[2];
    std::memcpy(half, &all, 16);
    if ((half[0] & half[1]) != ~uint64_t{0}) ok &= AllInSet(kSetMIME64, p + i, 64);
  }
  return ok && AllInSet(kSetMIME64, p + i, len - i);
}

// Position of each byte among the first `count` table characters, or -1.
// With ignoreCase, the other letter case of an ASCII letter maps to the
// same position (the first occurrence wins).
std::array<int8_t, 256> PositionTable(const char* table, int count, bool ignoreCase) {
  std::array<int8_t, 256> pos;
  pos.fill(-1);
  for (int i = 0; i < count && table[i] != 0; ++i) {
    auto c = static_cast<uint8_t>(table[i]);
    uint8_t variants[2] = {c, c};
    if (ignoreCase && c >= 'A' && c <= 'Z') variants[1] = static_cast<uint8_t>(c + 32);
    if (ignoreCase && c >= 'a' && c <= 'z') variants[1] = static_cast<uint8_t>(c - 32);
    for (uint8_t v : variants) {
      if (pos[v] < 0) pos[v] = static_cast<int8_t>(i);
    }
  }
  return pos;
}

// Fills a string of exactly n bytes through `fill`, which returns the count
// it wrote (at most n).
template <class F>
std::string MakeString(size_t n, F&& fill) {
  std::string out;
#ifdef __cpp_lib_string_resize_and_overwrite
  out.resize_and_overwrite(n, [&](char* p, size_t) { return fill(p); });
#else
  out.resize(n);
  out.resize(fill(out.data()));
#endif
  return out;
}

// ------------------------------------------------------------ base 64 tables

struct TBase64Tables {
  // Two output characters for each 12-bit value.
  std::array<uint16_t, 4096> Enc2{};
  // Decoding: the alphabet position of a character pre-shifted for each of
  // the four places of a group; 0xFF000000 marks a character that is not in
  // the alphabet.
  std::array<std::array<uint32_t, 256>, 4> Dec{};
  // 0..63 alphabet position, 64 for "=", 0xFF for characters that do not
  // count.
  std::array<uint8_t, 256> Class{};
};

constexpr TBase64Tables MakeBase64Tables(const char* table) {
  TBase64Tables t;
  for (int v = 0; v < 4096; ++v) {
    auto c0 = static_cast<uint8_t>(table[v >> 6]);
    auto c1 = static_cast<uint8_t>(table[v & 63]);
    // Stored so that a little-endian 16-bit store writes c0 first.
    t.Enc2[v] = static_cast<uint16_t>(c0 | (c1 << 8));
  }
  for (int c = 0; c < 256; ++c) {
    t.Class[c] = 0xFF;
    for (int place = 0; place < 4; ++place) t.Dec[place][c] = 0xFF000000u;
  }
  for (int i = 64; i >= 0; --i) {  // the first occurrence wins
    auto c = static_cast<uint8_t>(table[i]);
    t.Class[c] = static_cast<uint8_t>(i);
  }
  for (int c = 0; c < 256; ++c) {
    if (t.Class[c] < 64) {
      for (int place = 0; place < 4; ++place) {
        t.Dec[place][c] = static_cast<uint32_t>(t.Class[c]) << (6 * (3 - place));
      }
    }
  }
  return t;
}

constexpr TBase64Tables kBase64 = MakeBase64Tables(kTableMIME64);

// Holds the tables of a format's alphabet: the built-in ones, or tables made
// for the character table of a derived class.
class TBase64For {
 public:
  explicit TBase64For(const char* table) {
    if (table == kTableMIME64 || table == nullptr || std::strlen(table) < 65) {
      FTables = &kBase64;
    } else {
      FOwn = std::make_unique<TBase64Tables>(MakeBase64Tables(table));
      FTables = FOwn.get();
    }
  }
  const TBase64Tables& operator*() const { return *FTables; }

 private:
  std::unique_ptr<TBase64Tables> FOwn;
  const TBase64Tables* FTables;
};

inline uint64_t LoadBigEndian64(const uint8_t* p) {
  uint64_t w;
  std::memcpy(&w, p, 8);
  if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
  return w;
}

size_t Base64Encode(const TBase64Tables& t, const uint8_t* in, size_t n, char* out) {
  char* o = out;
  size_t i = 0;
  // Six bytes (read as eight) become eight characters in one store.
  for (; i + 8 <= n; i += 6) {
    const uint64_t w = LoadBigEndian64(in + i);
    uint64_t chars = static_cast<uint64_t>(t.Enc2[(w >> 52) & 0xFFF]) |
                     (static_cast<uint64_t>(t.Enc2[(w >> 40) & 0xFFF]) << 16) |
                     (static_cast<uint64_t>(t.Enc2[(w >> 28) & 0xFFF]) << 32) |
                     (static_cast<uint64_t>(t.Enc2[(w >> 16) & 0xFFF]) << 48);
    if constexpr (std::endian::native == std::endian::big) chars = __builtin_bswap64(chars);
    std::memcpy(o, &chars, 8);
    o += 8;
  }
  for (; i + 3 <= n; i += 3) {
    uint32_t v = (static_cast<uint32_t>(in[i]) << 16) | (static_cast<uint32_t>(in[i + 1]) << 8) | in[i + 2];
    const uint16_t a = t.Enc2[v >> 12];
    const uint16_t b = t.Enc2[v & 0xFFF];
    o[0] = static_cast<char>(a & 0xFF);
    o[1] = static_cast<char>(a >> 8);
    o[2] = static_cast<char>(b & 0xFF);
    o[3] = static_cast<char>(b >> 8);
    o += 4;
  }
  if (i < n) {
    uint32_t v = static_cast<uint32_t>(in[i]) << 16;
    if (i + 1 < n) v |= static_cast<uint32_t>(in[i + 1]) << 8;
    const uint16_t a = t.Enc2[v >> 12];
    const uint16_t b = t.Enc2[v & 0xFFF];
    o[0] = static_cast<char>(a & 0xFF);
    o[1] = static_cast<char>(a >> 8);
    o[2] = i + 1 < n ? static_cast<char>(b & 0xFF) : '=';
    o[3] = '=';
    o += 4;
  }
  return static_cast<size_t>(o - out);
}

// Decodes by the format's rule: only alphabet characters and "=" count; they
// are completed with "=" to a multiple of four; N starts as three quarters of
// that; each group of four lowers N by its "=" count, emits min(3, N) bytes
// and lowers N by 3; decoding ends when N is no longer positive. Groups of
// four alphabet characters in a row take the fast path until the first
// character that does not fit; the rest follows the rule literally.
size_t Base64Decode(const TBase64Tables& t, const uint8_t* in, size_t n, uint8_t* out) {
  uint8_t* o = out;
  size_t i = 0;
  // Eight characters become six bytes in one eight-byte store; the two
  // extra bytes land where the next group goes, so this runs only while
  // at least one more group follows.
  for (; i + 12 <= n; i += 8) {
    const uint32_t a = t.Dec[0][in[i]] | t.Dec[1][in[i + 1]] | t.Dec[2][in[i + 2]] | t.Dec[3][in[i + 3]];
    const uint32_t b = t.Dec[0][in[i + 4]] | t.Dec[1][in[i + 5]] | t.Dec[2][in[i + 6]] | t.Dec[3][in[i + 7]];
    if ((a | b) & 0xFF000000u) break;
    uint64_t w = ((static_cast<uint64_t>(a) << 24) | b) << 16;
    if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
    std::memcpy(o, &w, 8);
    o += 6;
  }
  for (; i + 4 <= n; i += 4) {
    const uint32_t v = t.Dec[0][in[i]] | t.Dec[1][in[i + 1]] | t.Dec[2][in[i + 2]] | t.Dec[3][in[i + 3]];
    if (v & 0xFF000000u) break;
    o[0] = static_cast<uint8_t>(v >> 16);
    o[1] = static_cast<uint8_t>(v >> 8);
    o[2] = static_cast<uint8_t>(v);
    o += 3;
  }
  const size_t groups = i / 4;
  if (i == n) return static_cast<size_t>(o - out);

  size_t counted = 4 * groups;
  for (size_t j = i; j < n; ++j) counted += t.Class[in[j]] != 0xFF ? 1 : 0;
  int64_t remaining = static_cast<int64_t>((counted + 3) / 4 * 3) - static_cast<int64_t>(3 * groups);
  while (remaining > 0) {
    uint32_t v = 0;
    int placed = 0;
    int pads = 0;
    while (placed < 4 && i < n) {
      uint8_t c = t.Class[in[i++]];
      if (c == 0xFF) continue;
      v <<= 6;
      if (c == 64) {
        ++pads;
      } else {
        v |= c;
      }
      ++placed;
    }
    for (; placed < 4; ++placed) {
      v <<= 6;
      ++pads;
    }
    remaining -= pads;
    int64_t emit = remaining < 3 ? remaining : 3;
    if (emit > 0) *o++ = static_cast<uint8_t>(v >> 16);
    if (emit > 1) *o++ = static_cast<uint8_t>(v >> 8);
    if (emit > 2) *o++ = static_cast<uint8_t>(v);
    remaining -= 3;
  }
  return static_cast<size_t>(o - out);
}

}  // namespace

namespace detail {

size_t Base64EncodeTo(const void* data, size_t size, char* out) noexcept {
  return Base64Encode(kBase64, Bytes(data), size, out);
}

size_t Base64DecodeTo(const char* text, size_t size, uint8_t* out) noexcept {
  return Base64Decode(kBase64, Bytes(text), size, out);
}

}  // namespace detail

// ------------------------------------------------------------ plain copy

int32_t TStringFormatClass::ResolveLength(const void* value, int32_t len) noexcept {
  if (value == nullptr) return 0;
  if (len < 0) return static_cast<int32_t>(std::strlen(static_cast<const char*>(value)));
  return len;
}

std::string TStringFormatClass::ToStr(const void* value, int32_t len) const {
  len = ResolveLength(value, len);
  if (len == 0) return std::string();
  return std::string(static_cast<const char*>(value), static_cast<size_t>(len));
}

std::string TStringFormatClass::StrTo(const void* value, int32_t len) const {
  return TStringFormatClass::ToStr(value, len);
}

std::string TStringFormatClass::Name() const {
  if (this == TStringFormat::Class()) return "copy Input to Output";
  return GetShortClassName(this);
}

int32_t TStringFormatClass::Format() const { return fmtCOPY; }

bool TStringFormatClass::IsValid(const void*, int32_t, bool) const { return true; }

const char* TStringFormatClass::CharTable() const { return nullptr; }

// ------------------------------------------------------------ hexadecimal

std::string TStringFormatClass_HEX::ToStr(const void* value, int32_t len) const {
  len = ResolveLength(value, len);
  if (len == 0) return std::string();
  // The 16 digits and the two prefix markers, letter case ignored.
  const std::array<int8_t, 256> pos = PositionTable(CharTable(), 18, true);
  const uint8_t* p = Bytes(value);
  return MakeString(static_cast<size_t>(len) / 2, [&](char* out) {
    size_t o = 0;
    int pending = -1;
    bool restarted = false;
    for (int32_t i = 0; i < len; ++i) {
      int v = pos[p[i]];
      if (v < 0) continue;
      if (v >= 16) {
        if (!restarted) {
          restarted = true;
          o = 0;
          pending = -1;
        }
        continue;
      }
      if (pending < 0) {
        pending = v;
      } else {
        out[o++] = static_cast<char>((pending << 4) | v);
        pending = -1;
      }
    }
    return o;
  });
}

std::string TStringFormatClass_HEX::StrTo(const void* value, int32_t len) const {
  len = ResolveLength(value, len);
  if (len == 0) return std::string();
  const char* table = CharTable();
  const uint8_t* p = Bytes(value);
  return MakeString(static_cast<size_t>(len) * 2, [&](char* out) {
    for (int32_t i = 0; i < len; ++i) {
      out[2 * i] = table[p[i] >> 4];
      out[2 * i + 1] = table[p[i] & 15];
    }
    return static_cast<size_t>(len) * 2;
  });
}

std::string TStringFormatClass_HEX::Name() const { return "Hexadecimal"; }
int32_t TStringFormatClass_HEX::Format() const { return fmtHEX; }
const char* TStringFormatClass_HEX::CharTable() const { return kTableHEX; }

bool TStringFormatClass_HEX::IsValid(const void* value, int32_t len, bool toStr) const {
  if (!toStr) return true;
  len = ResolveLength(value, len);
  if (CharTable() == kTableMIME64) return AllInBase64Table(Bytes(value), len);
  return AllInSet(CharSetOf(CharTable()), Bytes(value), len);
}

std::string TStringFormatClass_HEXL::Name() const { return "Hexadecimal lowercase"; }
int32_t TStringFormatClass_HEXL::Format() const { return fmtHEXL; }
const char* TStringFormatClass_HEXL::CharTable() const { return kTableHEXL; }

// ------------------------------------------------------------ base 64

std::string TStringFormatClass_MIME64::StrTo(const void* value, int32_t len) const {
  len = ResolveLength(value, len);
  if (len == 0) return std::string();
  TBase64For tables(CharTable());
  const size_t n = static_cast<size_t>(len);
  return MakeString((n + 2) / 3 * 4, [&](char* out) { return Base64Encode(*tables, Bytes(value), n, out); });
}

std::string TStringFormatClass_MIME64::ToStr(const void* value, int32_t len) const {
  len = ResolveLength(value, len);
  if (len == 0) return std::string();
  TBase64For tables(CharTable());
  const size_t n = static_cast<size_t>(len);
  return MakeString((n + 3) / 4 * 3, [&](char* out) {
    return Base64Decode(*tables, Bytes(value), n, reinterpret_cast<uint8_t*>(out));
  });
}

std::string TStringFormatClass_MIME64::Name() const { return "MIME Base 64"; }
int32_t TStringFormatClass_MIME64::Format() const { return fmtMIME64; }
const char* TStringFormatClass_MIME64::CharTable() const { return kTableMIME64; }

// ------------------------------------------------------------ UU and XX

std::string TStringFormatClass_UU::StrTo(const void* value, int32_t len) const {
  len = ResolveLength(value, len);
  if (len == 0) return std::string();
  const char* table = CharTable();
  const uint8_t* p = Bytes(value);
  const size_t n = static_cast<size_t>(len);
  const size_t fullLines = n / 45;
  const size_t rest = n % 45;
  const size_t size = fullLines * 61 + (rest != 0 ? 1 + (rest + 2) / 3 * 4 : 0);
  return MakeString(size, [&](char* out) {
    char* o = out;
    for (size_t pos = 0; pos < n; pos += 45) {
      const size_t line = n - pos < 45 ? n - pos : 45;
      *o++ = table[line];
      for (size_t g = 0; g < line; g += 3) {
        uint32_t v = static_cast<uint32_t>(p[pos + g]) << 16;
        if (g + 1 < line) v |= static_cast<uint32_t>(p[pos + g + 1]) << 8;
        if (g + 2 < line) v |= p[pos + g + 2];
        o[0] = table[(v >> 18) & 63];
        o[1] = table[(v >> 12) & 63];
        o[2] = table[(v >> 6) & 63];
        o[3] = table[v & 63];
        o += 4;
      }
    }
    return static_cast<size_t>(o - out);
  });
}

// Text that ends inside a line (a short last line) ends the result after the
// last complete group.
std::string TStringFormatClass_UU::ToStr(const void* value, int32_t len) const {
  len = ResolveLength(value, len);
  if (len == 0) return std::string();
  const std::array<int8_t, 256> pos = PositionTable(CharTable(), 64, false);
  const uint8_t* p = Bytes(value);
  const size_t n = static_cast<size_t>(len);
  std::string out;
  out.reserve(n);
  size_t i = 0;
  while (i < n) {
    int lineLength = pos[p[i++]];
    if (lineLength < 0 || lineLength > 45) {
      throw EStringFormat(FormatMessage(SInvalidFormatInput, {Name()}));
    }
    int remaining = lineLength;
    while (remaining > 0) {
      uint32_t v = 0;
      int placed = 0;
      while (placed < 4 && i < n) {
        int c = pos[p[i++]];
        if (c < 0) continue;
        v = (v << 6) | static_cast<uint32_t>(c);
        ++placed;
      }
      if (placed < 4) return out;
      out += static_cast<char>(v >> 16);
      if (remaining > 1) out += static_cast<char>(v >> 8);
      if (remaining > 2) out += static_cast<char>(v);
      remaining -= 3;
    }
  }
  return out;
}

bool TStringFormatClass_UU::IsValid(const void* value, int32_t len, bool toStr) const {
  if (!toStr) return true;
  len = ResolveLength(value, len);
  const char* table = CharTable();
  const TCharSet set = CharSetOf(table);
  const std::array<int8_t, 256> pos = PositionTable(table, 64, false);
  const uint8_t* p = Bytes(value);
  int32_t outstanding = 0;
  for (int32_t i = 0; i < len; ++i) {
    if (!set.In[p[i]]) return false;
    int c = pos[p[i]];
    if (outstanding == 0) {
      if (c < 0 || c > 45) return false;
      outstanding = (4 * c + 2) / 3;
    } else if (c >= 0) {
      --outstanding;
    }
  }
  return outstanding == 0;
}

std::string TStringFormatClass_UU::Name() const { return "UU Coding"; }
int32_t TStringFormatClass_UU::Format() const { return fmtUU; }
const char* TStringFormatClass_UU::CharTable() const { return kTableUU; }

std::string TStringFormatClass_XX::Name() const { return "XX Coding"; }
int32_t TStringFormatClass_XX::Format() const { return fmtXX; }
const char* TStringFormatClass_XX::CharTable() const { return kTableXX; }

}  // namespace limpet

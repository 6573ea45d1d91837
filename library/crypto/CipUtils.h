// Cryptographic foundation: bit and buffer utilities, CRC-16 and CRC-32,
// text encodings of raw bytes (the string formats and their registry), and
// TProtection, the reference-counted base of every coding object.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <type_traits>
#include <vector>

#include "LQClasses.h"
#include "LQEvents.h"
#include "LQExcept.h"
#include "LQInterfaced.h"
#include "LQObject.h"
#include "LQStreams.h"

namespace limpet {

// ===================================================================
// Unit variables
// ===================================================================

using TSwapIntegerFunc = uint32_t (*)(uint32_t value);
using TSwapIntegerBufferFunc = void (*)(const void* source, void* dest, int32_t count);

// Process-wide progress notification, fired by DoProgress.
extern TProgressEvent Progress;
// Reverses the byte order of a 32-bit value.
extern TSwapIntegerFunc SwapInteger;
// Stores into word i of dest the byte-reversed word i of source, for i from
// count - 1 down to 0; source and dest may be one buffer; count <= 0 does
// nothing.
extern TSwapIntegerBufferFunc SwapIntegerBuffer;
// Outcome of the start-up integrity test of the unit's constant data.
extern bool InitTestIsOk;
// Seed of the class identity checksum (TProtectionClass::Identity).
extern uint16_t IdentityBase;

// ===================================================================
// Bit, CRC and buffer utilities
// ===================================================================

// Processor family detected at start-up (0 before it).
int32_t CPUType() noexcept;

// True when p is a live object whose class is cls or derives from it. Never
// touches memory that is not a live object. False for a null p or cls.
bool IsObject(const void* p, const TClass* cls) noexcept;

// Rotations by the low five bits of shift.
inline uint32_t ROL(uint32_t value, int32_t shift) noexcept {
  return std::rotl(value, static_cast<int>(shift & 31));
}
inline uint32_t ROR(uint32_t value, int32_t shift) noexcept {
  return std::rotr(value, static_cast<int>(shift & 31));
}
inline uint32_t ROLADD(uint32_t value, uint32_t add, int32_t shift) noexcept {
  return ROL(value, shift) + add;
}
inline uint32_t RORADD(uint32_t value, uint32_t add, int32_t shift) noexcept {
  return ROR(value, shift) + add;
}
inline uint32_t ROLSUB(uint32_t value, uint32_t sub, int32_t shift) noexcept {
  return ROL(value, shift) - sub;
}
inline uint32_t RORSUB(uint32_t value, uint32_t sub, int32_t shift) noexcept {
  return ROR(value, shift) - sub;
}

// Reverses the order of all 32 bits.
uint32_t SwapBits(uint32_t value) noexcept;
// Index of the lowest / highest set bit (0 for 0); OneBit gives the index of
// the only set bit, or 0 unless exactly one bit is set.
int32_t LSBit(int32_t value) noexcept;
int32_t MSBit(int32_t value) noexcept;
int32_t OneBit(int32_t value) noexcept;

// 0 when the first size bytes are equal, else p1[k] - p2[k] (unsigned bytes)
// at the first difference.
int32_t MemCompare(const void* p1, const void* p2, int32_t size) noexcept;
// dest[i] = i1[i] ^ i2[i]; dest may be i1 or i2.
void XORBuffers(const void* i1, const void* i2, int32_t size, void* dest) noexcept;

// Fires Progress unless it is empty or bound to an object that is gone.
void DoProgress(TObject* sender, int32_t current, int32_t maximal);

// The class name without everything up to and including its first
// underscore ("TCipher_Blowfish" gives "Blowfish"); "" for a null class.
std::string GetShortClassName(const TClass* cls);

// Replaces every byte with the top byte of a linear congruential state fed
// by the old bytes; used to overwrite secrets with unpredictable bytes.
void RndXORBuffer(int32_t seed, void* buffer, int32_t size) noexcept;
// Milliseconds of the UTC day mixed with a high-resolution counter.
int32_t RndTimeSeed() noexcept;

// Raw CRC registers (no inversion before or after); a null buffer or a size
// that is not positive as a signed value returns crc unchanged.
// CRC16(0, ...) is CRC-16/ARC; CRC32(0xFFFFFFFF, ...) ^ 0xFFFFFFFF is the
// CRC-32 of zlib and Ethernet.
uint16_t CRC16(uint16_t crc, const void* data, uint32_t size) noexcept;
uint32_t CRC32(uint32_t crc, const void* data, uint32_t size) noexcept;

// The 40-byte test vector encoded by the hash and cipher self-tests.
const uint8_t* GetTestVector() noexcept;

namespace detail {
// The two byte-swap implementations the start-up chooses between (exposed
// for tests only).
uint32_t SwapIntegerBswap(uint32_t value) noexcept;
uint32_t SwapIntegerRotate(uint32_t value) noexcept;
void SwapIntegerBufferBswap(const void* source, void* dest, int32_t count) noexcept;
void SwapIntegerBufferRotate(const void* source, void* dest, int32_t count) noexcept;
// The portable CRC paths, whatever the processor offers (tests only).
uint16_t CRC16Portable(uint16_t crc, const void* data, uint32_t size) noexcept;
uint32_t CRC32Portable(uint32_t crc, const void* data, uint32_t size) noexcept;
// The base 64 codec of the built-in alphabet over caller buffers (for
// benchmarks): the encoder writes (size + 2) / 3 * 4 characters, the decoder
// at most (size + 3) / 4 * 3 bytes; both return the count written.
size_t Base64EncodeTo(const void* data, size_t size, char* out) noexcept;
size_t Base64DecodeTo(const char* text, size_t size, uint8_t* out) noexcept;
}  // namespace detail

// ===================================================================
// String formats
// ===================================================================

// Format identifiers of the built-in formats.
inline constexpr int32_t fmtDEFAULT = -1;
inline constexpr int32_t fmtNONE = 0;
inline constexpr int32_t fmtCOPY = 1;
inline constexpr int32_t fmtHEX = 16;
inline constexpr int32_t fmtHEXL = 1016;
inline constexpr int32_t fmtMIME64 = 4196;
inline constexpr int32_t fmtUU = 21845;
inline constexpr int32_t fmtXX = 22616;

// Descriptor of a string-format class: the class-level operations.
// Value/len pairs: a negative len means the text ends at its first zero
// byte; a null value is empty. ToStr decodes formatted text to raw bytes,
// StrTo encodes raw bytes as formatted text; IsValid with toStr true asks
// whether value is valid text of the format, with toStr false whether raw
// value can be encoded.
class TStringFormatClass : public TClass {
 public:
  using TClass::TClass;
  virtual std::string ToStr(const void* value, int32_t len) const;
  virtual std::string StrTo(const void* value, int32_t len) const;
  virtual std::string Name() const;
  virtual int32_t Format() const;
  virtual bool IsValid(const void* value, int32_t len, bool toStr) const;
  // The format's zero-terminated character table, or null when it has none.
  virtual const char* CharTable() const;

 protected:
  // The length of value/len after resolving a negative len (0 for null).
  static int32_t ResolveLength(const void* value, int32_t len) noexcept;
};

// Descriptor implementations of the built-in formats. A format class of
// one's own derives its descriptor from the one whose behaviour it extends
// and overrides what it changes (Format at least).
class TStringFormatClass_HEX : public TStringFormatClass {
 public:
  using TStringFormatClass::TStringFormatClass;
  std::string ToStr(const void* value, int32_t len) const override;
  std::string StrTo(const void* value, int32_t len) const override;
  std::string Name() const override;
  int32_t Format() const override;
  bool IsValid(const void* value, int32_t len, bool toStr) const override;
  const char* CharTable() const override;
};

class TStringFormatClass_HEXL : public TStringFormatClass_HEX {
 public:
  using TStringFormatClass_HEX::TStringFormatClass_HEX;
  std::string Name() const override;
  int32_t Format() const override;
  const char* CharTable() const override;
};

class TStringFormatClass_MIME64 : public TStringFormatClass_HEX {
 public:
  using TStringFormatClass_HEX::TStringFormatClass_HEX;
  std::string ToStr(const void* value, int32_t len) const override;
  std::string StrTo(const void* value, int32_t len) const override;
  std::string Name() const override;
  int32_t Format() const override;
  const char* CharTable() const override;
};

class TStringFormatClass_UU : public TStringFormatClass {
 public:
  using TStringFormatClass::TStringFormatClass;
  std::string ToStr(const void* value, int32_t len) const override;
  std::string StrTo(const void* value, int32_t len) const override;
  std::string Name() const override;
  int32_t Format() const override;
  bool IsValid(const void* value, int32_t len, bool toStr) const override;
  const char* CharTable() const override;
};

class TStringFormatClass_XX : public TStringFormatClass_UU {
 public:
  using TStringFormatClass_UU::TStringFormatClass_UU;
  std::string Name() const override;
  int32_t Format() const override;
  const char* CharTable() const override;
};

// Class-level functions offered as statics of a format class too.
#define LIMPET_STRING_FORMAT_STATICS                                         \
 public:                                                                     \
  static std::string ToStr(const void* value, int32_t len) {                 \
    return Class()->ToStr(value, len);                                       \
  }                                                                          \
  static std::string StrTo(const void* value, int32_t len) {                 \
    return Class()->StrTo(value, len);                                       \
  }                                                                          \
  static std::string Name() { return Class()->Name(); }                      \
  static int32_t Format() { return Class()->Format(); }                      \
  static bool IsValid(const void* value, int32_t len, bool toStr) {          \
    return Class()->IsValid(value, len, toStr);                              \
  }                                                                          \
  static const char* CharTable() { return Class()->CharTable(); }

// Plain copy, identifier 1. Base of every format class.
class TStringFormat : public TObject {
  LIMPET_CLASS_AS(TStringFormat, TStringFormatClass)
  LIMPET_STRING_FORMAT_STATICS
};

// Hexadecimal, upper case, identifier 16.
class TStringFormat_HEX : public TStringFormat {
  LIMPET_CLASS_AS(TStringFormat_HEX, TStringFormatClass)
  LIMPET_STRING_FORMAT_STATICS
};

// Hexadecimal, lower case, identifier 1016.
class TStringFormat_HEXL : public TStringFormat_HEX {
  LIMPET_CLASS_AS(TStringFormat_HEXL, TStringFormatClass)
  LIMPET_STRING_FORMAT_STATICS
};

// Base 64 (RFC 4648 / MIME alphabet), identifier 4196.
class TStringFormat_MIME64 : public TStringFormat_HEX {
  LIMPET_CLASS_AS(TStringFormat_MIME64, TStringFormatClass)
  LIMPET_STRING_FORMAT_STATICS
};

// UU coding without begin/end lines or line breaks, identifier 21845.
class TStringFormat_UU : public TStringFormat {
  LIMPET_CLASS_AS(TStringFormat_UU, TStringFormatClass)
  LIMPET_STRING_FORMAT_STATICS
};

// XX coding, identifier 22616.
class TStringFormat_XX : public TStringFormat_UU {
  LIMPET_CLASS_AS(TStringFormat_XX, TStringFormatClass)
  LIMPET_STRING_FORMAT_STATICS
};

// Registry and conversions.
const TStringFormatClass* StringFormat(int32_t format);
std::string StrToFormat(const void* value, int32_t len, int32_t format);
std::string FormatToStr(const void* value, int32_t len, int32_t format);
std::string ConvertFormat(const void* value, int32_t len, int32_t fromFormat, int32_t toFormat);
bool IsValidFormat(const void* value, int32_t len, int32_t format);
bool IsValidString(const void* value, int32_t len, int32_t format);
// Byte-string forms of the conversions.
std::string StrToFormat(const std::string& value, int32_t format);
std::string FormatToStr(const std::string& value, int32_t format);
std::string ConvertFormat(const std::string& value, int32_t fromFormat, int32_t toFormat);

void RegisterStringFormats(std::initializer_list<const TStringFormatClass*> formats);
void RegisterStringFormats(const std::vector<const TStringFormatClass*>& formats);
// Appends one line per registered format: its Name, with the descriptor as
// the line's object.
void GetStringFormats(TStringList* strings);
int32_t DefaultStringFormat() noexcept;
void SetDefaultStringFormat(int32_t format);

// Text routines.
std::string InsertCR(const std::string& value, int32_t blockSize);
std::string DeleteCR(const std::string& value);
std::string InsertBlocks(const std::string& value, const std::string& blockStart,
                         const std::string& blockEnd, int32_t blockSize);
std::string RemoveBlocks(const std::string& value, const std::string& blockStart,
                         const std::string& blockEnd);

// ===================================================================
// Protection chain
// ===================================================================

enum TPAction : uint8_t { paEncode = 0, paDecode = 1, paScramble = 2, paCalc = 3, paWipe = 4 };

// A set of actions in one byte, bit n standing for the action of value n.
class TPActions {
 public:
  constexpr TPActions() noexcept = default;
  constexpr TPActions(std::initializer_list<TPAction> actions) noexcept {
    for (TPAction a : actions) FBits = static_cast<uint8_t>(FBits | Bit(a));
  }
  static constexpr TPActions FromBits(uint8_t bits) noexcept {
    TPActions s;
    s.FBits = static_cast<uint8_t>(bits & 0x1F);
    return s;
  }
  static constexpr TPActions All() noexcept { return FromBits(0x1F); }

  constexpr uint8_t Bits() const noexcept { return FBits; }
  constexpr bool Contains(TPAction a) const noexcept { return (FBits & Bit(a)) != 0; }
  constexpr TPActions& Include(TPAction a) noexcept {
    FBits = static_cast<uint8_t>(FBits | Bit(a));
    return *this;
  }
  constexpr TPActions& Exclude(TPAction a) noexcept {
    FBits = static_cast<uint8_t>(FBits & ~Bit(a));
    return *this;
  }
  friend constexpr bool operator==(TPActions, TPActions) noexcept = default;

 private:
  static constexpr uint8_t Bit(TPAction a) noexcept {
    return static_cast<uint8_t>(1u << static_cast<unsigned>(a));
  }
  uint8_t FBits = 0;
};

class TProtection;

// Descriptor of a protection class. Later families derive from it to add
// their own class-level operations.
class TProtectionClass : public TClass {
 public:
  using TClass::TClass;
  // ~CRC16(IdentityBase, class name): depends only on the name.
  uint16_t Identity() const noexcept;
  // A new instance of the class linked to `link` (count 0, belongs to the
  // caller), or null for a class that cannot be instantiated.
  virtual TProtection* Create(TProtection* link) const;
};

// Descriptor implementation for a protection class T (Desc: the family's
// descriptor type, deriving from TProtectionClass).
template <class T, class Desc = TProtectionClass>
class TProtectionClassOf : public TClassOf<T, Desc> {
 public:
  using TClassOf<T, Desc>::TClassOf;
  TProtection* Create(TProtection* link) const override {
    if constexpr (!std::is_abstract_v<T> && requires(TProtection* l) { new T(l); }) {
      return new T(link);
    } else {
      return nullptr;
    }
  }
  TObject* CreateInstance() const override { return Create(nullptr); }
};

// Base of every coding object: a reference-counted link in a chain of
// protections and the three-phase coding protocol (CodeInit, CodeBuf any
// number of times, CodeDone) with drivers over buffers, strings, streams and
// files. The base codes nothing itself; it passes the protocol on to its
// link.
//
// Lifetime: a new object has count 0 and belongs to its creator, who frees it
// with Free() (refused with EInvalidPointer while the count is not 0) or
// holds it with TRef / MakeRef. Linking an object takes a reference on it,
// unlinking gives the reference back, and an object that nobody else holds
// is destroyed when it is unlinked.
class TProtection : public TInterfacedObject {
  LIMPET_CLASS_AS(TProtection, TProtectionClass)
 public:
  explicit TProtection(TProtection* link = nullptr);

  // The linked protection, or null. A link that is no longer a live
  // protection is dropped (without releasing anything).
  TProtection* GetProtection() noexcept;
  TProtection* Protection() noexcept { return GetProtection(); }
  // Links `value` (null unlinks). Raises EProtection, changing nothing, when
  // `value`'s chain contains this object.
  void SetProtection(TProtection* value);

  // Count changes that accept a null or dangling pointer (then 0 is
  // returned and nothing happens). Release destroys the object when the
  // count reaches 0.
  static int32_t AddRef(TProtection* p) noexcept;
  static int32_t Release(TProtection* p);

  TPActions Actions() const noexcept { return FActionSet; }
  void SetActions(TPActions actions) noexcept { FActionSet = actions; }

  virtual void CodeInit(TPAction action);
  virtual void CodeDone(TPAction action);
  virtual void CodeBuf(void* buffer, int32_t size, TPAction action);
  // Codes `size` bytes of source from its position (a negative size: all of
  // it from position 0) into dest (null: back into source, in place), in
  // blocks of 4096 bytes, with progress reported through DoProgress.
  virtual void CodeStream(TStream* source, TStream* dest, int64_t size, TPAction action);
  // Codes a file into another, or in place when dest is empty or blank or
  // names the same file as source.
  virtual void CodeFile(const std::string& source, const std::string& dest, TPAction action);
  // Codes a byte string; decoding takes text in `format`, every other action
  // returns the coded bytes in `format`.
  virtual std::string CodeString(const std::string& source, TPAction action, int32_t format);
  // One whole protocol over a buffer coded in place; returns size.
  virtual int32_t CodeBuffer(void* buffer, int32_t size, TPAction action);

 protected:
  ~TProtection() override;

 private:
  TProtection* FLink = nullptr;
  TPActions FActionSet;
};

}  // namespace limpet

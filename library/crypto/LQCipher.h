// Hashes, keyed hashes, block ciphers with their chaining modes, and the
// password encryption of bound entries.
//
//   THash        base of the hash classes: the Init / Calc / Done protocol,
//                one-call digests of buffers, strings, streams and files,
//                and a hash as a link of a coding chain
//   THash_MD4    MD4 (RFC 1320)
//   TMAC         keys a hash with a password when linked to it
//   TCipher      base of the block ciphers: keys from passwords, eight
//                chaining modes over buffers, strings, streams and files,
//                message authentication codes, a cipher as a chain link
//   TCipher_Blowfish
//                the Blowfish block cipher
//   EncryptStream / DecryptStream
//                the encryption of an entry's payload under a password
//
// Every coding object is reference-counted (see TProtection in CipUtils.h):
// hold it with TRef / MakeRef, or release an unreferenced one with Free().
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "CipUtils.h"
#include "LQStreams.h"

namespace limpet {

class THash;
class TCipher;

// ===================================================================
// Hashes
// ===================================================================

// Descriptor of a hash class: the class-level operations of the family.
// Format arguments are string-format identifiers (fmtDEFAULT the current
// default, fmtCOPY the raw bytes, fmtNONE an empty result).
class THashClass : public TProtectionClass {
 public:
  using TProtectionClass::TProtectionClass;

  // Number of digest bytes; 0 for THash itself.
  virtual int32_t DigestKeySize() const;
  // The expected digest of the first 32 bytes of the shared test vector.
  virtual const uint8_t* TestVector() const;

  // A new instance of the class linked to `link` (count 0, belongs to the
  // caller).
  THash* CreateHash(TProtection* link) const;

  // One-call digests by a temporary instance linked to `protection`. The
  // protection only acts on the result: a TMAC keys the hash, any other
  // protection scrambles the finished digest. It is held for the duration
  // of the call, so one that nobody else holds is destroyed when the call
  // ends, whatever way it ends.
  std::string CalcBuffer(const void* data, int32_t size, TProtection* protection = nullptr,
                         int32_t format = fmtDEFAULT) const;
  std::string CalcString(const std::string& data, TProtection* protection = nullptr,
                         int32_t format = fmtDEFAULT) const;
  // `size` bytes from the stream's position; a negative size digests the
  // whole stream from position 0. Stops early at the end of the stream.
  std::string CalcStream(TStream& stream, int64_t size, TProtection* protection = nullptr,
                         int32_t format = fmtDEFAULT) const;
  std::string CalcFile(const std::string& fileName, TProtection* protection = nullptr,
                       int32_t format = fmtDEFAULT) const;
  // Known-answer test over the shared test vector; never raises.
  bool SelfTest() const;
};

// Concrete descriptors of the built-in hash classes.
class THashClass_MD4 : public THashClass {
 public:
  using THashClass::THashClass;
  int32_t DigestKeySize() const override;
  const uint8_t* TestVector() const override;
};

// The class-level digests as statics of a hash class.
#define LIMPET_HASH_STATICS                                                                    \
 public:                                                                                       \
  static std::string CalcBuffer(const void* data, int32_t size,                                \
                                ::limpet::TProtection* protection = nullptr,                   \
                                int32_t format = ::limpet::fmtDEFAULT) {                       \
    return Class()->CalcBuffer(data, size, protection, format);                                \
  }                                                                                            \
  static std::string CalcString(const std::string& data,                                       \
                                ::limpet::TProtection* protection = nullptr,                   \
                                int32_t format = ::limpet::fmtDEFAULT) {                       \
    return Class()->CalcString(data, protection, format);                                      \
  }                                                                                            \
  static std::string CalcStream(::limpet::TStream& stream, int64_t size,                       \
                                ::limpet::TProtection* protection = nullptr,                   \
                                int32_t format = ::limpet::fmtDEFAULT) {                       \
    return Class()->CalcStream(stream, size, protection, format);                              \
  }                                                                                            \
  static std::string CalcFile(const std::string& fileName,                                     \
                              ::limpet::TProtection* protection = nullptr,                     \
                              int32_t format = ::limpet::fmtDEFAULT) {                         \
    return Class()->CalcFile(fileName, protection, format);                                    \
  }                                                                                            \
  static bool SelfTest() { return Class()->SelfTest(); }

// Base of the hash classes. Protocol: Init, Calc any number of times, Done,
// then DigestKeySize() bytes at DigestKey() (or DigestStr). Init may be
// called again at any time to start over. THash itself has an empty digest.
//
// As a link of a coding chain a hash digests what passes (paCalc; the
// digest is ready after CodeDone), replaces the data by digests of itself
// (paScramble, paWipe) or XORs it with a keystream of successive digests
// that depends only on the state after Init (paEncode, paDecode). The
// keystream restarts at every CodeBuf call, so data split into calls whose
// sizes are not multiples of the digest size must be decoded with the same
// split.
class THash : public TProtection {
  LIMPET_CLASS_AS(THash, THashClass)
  LIMPET_HASH_STATICS
 public:
  explicit THash(TProtection* link = nullptr);

  virtual void Init();
  virtual void Calc(const void* data, int32_t size);
  virtual void Done();
  // The digest bytes (DigestKeySize() of them).
  virtual uint8_t* DigestKey();

  // The class-level values of the object's own class.
  int32_t DigestKeySize() const { return ClassType()->DigestKeySize(); }
  const uint8_t* TestVector() const { return ClassType()->TestVector(); }

  // The digest as a byte string in a string format.
  std::string DigestStr(int32_t format = fmtDEFAULT);

  void CodeInit(TPAction action) override;
  void CodeDone(TPAction action) override;
  void CodeBuf(void* buffer, int32_t size, TPAction action) override;

 protected:
  ~THash() override = default;
  // Lets the linked protection act: on reset a TMAC link keys the hash; on
  // completion a TMAC link passes the digest through its own link, and any
  // other link scrambles the digest in place.
  void Protect(bool reset);
};

// MD4 (RFC 1320). The digest is the chaining value A, B, C, D, each word
// little-endian. Done does not reset the state: Calc after Done without Init
// continues from the finished digest as chaining value (the keystream of the
// chain operations rests on this).
class THash_MD4 : public THash {
  LIMPET_CLASS_AS(THash_MD4, THashClass)
  LIMPET_HASH_STATICS
 public:
  explicit THash_MD4(TProtection* link = nullptr);

  void Init() override;
  void Calc(const void* data, int32_t size) override;
  void Done() override;
  uint8_t* DigestKey() override;
  // One compression of a 64-byte block into the chaining value.
  virtual void Transform(const uint8_t* block);

 protected:
  // Overwrites the state, the block and the count before the memory goes.
  ~THash_MD4() override;
  // Compresses `count` consecutive whole blocks straight from `data`. Calc
  // passes every run of whole blocks here; the default compresses them all
  // in one pass of the core, which is what Transform does block by block. A
  // subclass that replaces Transform replaces this as well.
  virtual void TransformBlocks(const uint8_t* data, size_t count);

 private:
  uint64_t FByteCount = 0;
  uint8_t FBlock[64];
  // The chaining value, each word held little-endian so that its 16 bytes
  // are the digest.
  uint32_t FState[4];
};

// A keyed hash: linked to a hash as its protection, it XORs the digest of
// its password (by a fresh instance of the hash's class, itself linked to
// this object's link) into the hash's state whenever the hash is reset, and
// passes the final digest through its own link, if any. An empty password
// leaves the hash unkeyed. The password is copied, and the copy is
// overwritten when the object goes.
class TMAC : public TProtection {
  LIMPET_CLASS_AS(TMAC, TProtectionClass)
 public:
  explicit TMAC(const std::string& password, TProtection* protection = nullptr);

  virtual void Init(THash* hash);
  virtual void Done(THash* hash);

 protected:
  ~TMAC() override;

 private:
  std::string FMacPassword;
};

// ===================================================================
// Ciphers
// ===================================================================

enum TCipherMode : uint8_t {
  cmCTS = 0,     // block chaining with feedback XOR, stream tail
  cmCBC = 1,     // cipher block chaining, stream tail
  cmCFB = 2,     // 8-bit cipher feedback
  cmOFB = 3,     // 8-bit output feedback
  cmECB = 4,     // electronic code book
  cmCTSMAC = 5,  // MAC over cmCTS chaining
  cmCBCMAC = 6,  // MAC over cmCBC chaining
  cmCFBMAC = 7,  // MAC over cmCFB chaining
};

// When true, a key longer than the cipher's key length is refused
// (ECipherException, FaultCode 2); when false (the default) it is cut.
extern bool CheckCipherKeySize;

// FaultCode values of ECipherException.
inline constexpr int32_t errCipherKeySize = 2;
inline constexpr int32_t errCipherNotInitialized = 3;
inline constexpr int32_t errCipherMACMode = 4;

// Descriptor of a cipher class: the class-level operations of the family.
class TCipherClass : public TProtectionClass {
 public:
  using TProtectionClass::TProtectionClass;

  // Block length, key length and context length in bytes; 0, 0, 0 for the
  // base class.
  virtual void GetContext(int32_t& blockLen, int32_t& keyLen, int32_t& contextLen) const;
  // The 32 bytes SelfTest expects from encoding the first 32 bytes of the
  // shared test vector in cmCTS under the class name as key.
  virtual const uint8_t* TestVector() const;
  // The key length that GetContext reports.
  int32_t MaxKeySize() const;
  // Known-answer test: encodes and decodes the shared test vector under the
  // class name as key. Reports every failure as false.
  bool SelfTest() const;

  using TProtectionClass::Create;
  // A new instance of the class (count 0, belongs to the caller), keyed
  // from `password` when it is not empty and linked to `protection`; null
  // for a class that cannot be instantiated.
  virtual TCipher* Create(const std::string& password, TProtection* protection) const;
};

// Descriptor implementation for a cipher class T whose constructor takes
// (password, protection).
template <class T, class Desc = TCipherClass>
class TCipherClassOf : public TProtectionClassOf<T, Desc> {
 public:
  using TProtectionClassOf<T, Desc>::TProtectionClassOf;
  TProtection* Create(TProtection* link) const override { return Create(std::string(), link); }
  TCipher* Create(const std::string& password, TProtection* protection) const override {
    return new T(password, protection);
  }
  TObject* CreateInstance() const override { return Create(std::string(), nullptr); }
};

class TCipherClass_Blowfish : public TCipherClass {
 public:
  using TCipherClass::TCipherClass;
  void GetContext(int32_t& blockLen, int32_t& keyLen, int32_t& contextLen) const override;
  const uint8_t* TestVector() const override;
};

// The class-level operations as statics of a cipher class.
#define LIMPET_CIPHER_STATICS                                                          \
 public:                                                                               \
  static void GetContext(int32_t& blockLen, int32_t& keyLen, int32_t& contextLen) {    \
    Class()->GetContext(blockLen, keyLen, contextLen);                                 \
  }                                                                                    \
  static const uint8_t* TestVector() { return Class()->TestVector(); }                 \
  static int32_t MaxKeySize() { return Class()->MaxKeySize(); }                        \
  static bool SelfTest() { return Class()->SelfTest(); }

// Base of the block ciphers. Holds the key schedule (the context), the
// initial vector V, the feedback block F that carries the chaining from one
// call to the next, and a work block W. A subclass supplies the block
// operations (Encode, Decode) and the key schedule (Init); the base class
// has neither, so it never becomes initialized.
//
// Order of use: create, set Mode, Init or InitKey, any number of coding
// calls (each continues from F as the previous one left it), Done between
// independent messages. The chain drivers inherited from TProtection
// (CodeBuffer, CodeStream, CodeString, CodeFile) reset F themselves.
//
// Secrets: Protect overwrites V, F, W and the context with 0xAA, then 0x55,
// then their idle values; it runs at construction, before every key
// schedule and at destruction.
class TCipher : public TProtection {
  LIMPET_CLASS_AS(TCipher, TCipherClass)
  LIMPET_CIPHER_STATICS
 public:
  // A base-class object. With a password the key is derived at once, which
  // the base class refuses (it has no key schedule): ECipherException,
  // FaultCode 3.
  explicit TCipher(const std::string& password = std::string(), TProtection* protection = nullptr);

  // State flags: bit 0 the key came from InitKey, bit 1 initialized.
  bool GetFlag(int32_t index) const noexcept;
  virtual void SetFlag(int32_t index, bool value);

  // Sets the key (size bytes at key) and the initial vector (BlockLen()
  // bytes at ivector; null: the encryption of an all-0xFF block under the
  // new key). The base version does nothing.
  virtual void Init(const void* key, int32_t size, const void* ivector);
  // Derives the key from a password through the key hash: the first
  // KeyLen() bytes of its digest.
  void InitKey(const std::string& key, const void* ivector);
  // One block in place. The base versions do nothing.
  virtual void Encode(void* data);
  virtual void Decode(void* data);
  // Ends a message: F returns to V (W keeps the chaining value reached).
  virtual void Done();
  // Wipes all key material; the object is uninitialized afterwards.
  virtual void Protect();

  // The hash that InitKey uses, made on first use from HashClass().
  THash* GetHash();
  THash* Hash() { return GetHash(); }
  const THashClass* HashClass() const noexcept { return FKeyHashClass; }
  // Null selects THash_MD4.
  void SetHashClass(const THashClass* value);

  TCipherMode Mode() const noexcept { return FCipherMode; }
  void SetMode(TCipherMode value) noexcept { FCipherMode = value; }
  int32_t BlockLen() const noexcept { return FBlockLen; }
  int32_t KeyLen() const noexcept { return FKeyLen; }
  // V and F, BlockLen() bytes each.
  const uint8_t* InitVector() const noexcept { return FInitVector.get(); }
  const uint8_t* FeedbackBlock() const noexcept { return FFeedbackBlock.get(); }

  // Code dataSize bytes from source to dest (the same buffer or not
  // overlapping) in the current mode. In a MAC mode dest is never written
  // and decoding runs the encoding. ECipherException (FaultCode 3) when the
  // object is not initialized.
  void EncodeBuffer(const void* source, void* dest, int32_t dataSize);
  void DecodeBuffer(const void* source, void* dest, int32_t dataSize);
  // The string coded as bytes; empty in a MAC mode.
  std::string EncodeString(const std::string& source);
  std::string DecodeString(const std::string& source);
  // dataSize bytes from source's position (negative: all of it from
  // position 0) into dest (null: back into source, in place), in chunks of
  // 4096 bytes. A null source does nothing.
  void EncodeStream(TStream* source, TStream* dest, int64_t dataSize);
  void DecodeStream(TStream* source, TStream* dest, int64_t dataSize);
  // A whole file into another, or in place when dest is empty or blank or
  // names the source file.
  void EncodeFile(const std::string& source, const std::string& dest);
  void DecodeFile(const std::string& source, const std::string& dest);

  // The message authentication code of what was coded since the last
  // reset, in a string format (through the linked protection with
  // paScramble when there is one). ECipherException (FaultCode 4) in cmOFB
  // and cmECB.
  std::string CalcMAC(int32_t format = fmtDEFAULT);

  void CodeInit(TPAction action) override;
  void CodeDone(TPAction action) override;
  void CodeBuf(void* buffer, int32_t size, TPAction action) override;

 protected:
  // For subclasses: sizes the buffers from cls->GetContext and wipes them.
  // The subclass's constructor derives the key from a password as its own
  // last step (InitKey), when its Init is the one that runs.
  TCipher(const TCipherClass* cls, TProtection* protection);
  ~TCipher() override;

  // The first step of every subclass's Init: wipes the object, makes a
  // negative size 0 and cuts (or, with CheckCipherKeySize, refuses) a size
  // above KeyLen().
  void InitBegin(int32_t& size);
  // The last step of every subclass's Init: sets V (see Init), F := V and
  // the initialized flag.
  virtual void InitEnd(const void* ivector);

  void InternalCodeStream(TStream* source, TStream* dest, int64_t dataSize, bool encode);
  void InternalCodeFile(const std::string& source, const std::string& dest, bool encode);

  // Bulk coding of whole blocks, for the modes that run over many of them.
  // The defaults go block by block through Encode and Decode; an algorithm
  // with faster bulk routines overrides them. Each gets `blocks` whole
  // blocks at source and writes them to dest (the same buffer or not
  // overlapping).
  //   ECB:                  each block on its own
  //   CTS encode, for X:    Y = E(X xor F); write Y; F = F xor Y
  //   CTS decode, for Y:    X = D(Y) xor F; write X; F = F xor Y
  virtual void EncodeECBBlocks(const uint8_t* source, uint8_t* dest, size_t blocks);
  virtual void DecodeECBBlocks(const uint8_t* source, uint8_t* dest, size_t blocks);
  virtual void EncodeCTSBlocks(const uint8_t* source, uint8_t* dest, size_t blocks);
  virtual void DecodeCTSBlocks(const uint8_t* source, uint8_t* dest, size_t blocks);

  // The algorithm's key schedule (ContextLen bytes) and the feedback block,
  // for subclasses.
  uint8_t* Context() noexcept { return FContext.get(); }
  const uint8_t* Context() const noexcept { return FContext.get(); }
  uint8_t* Feedback() noexcept { return FFeedbackBlock.get(); }

 private:
  void CheckInitialized() const;
  void ChainStep(TPAction action);
  void CodeData(const void* source, void* dest, int32_t dataSize, bool encode);
  void EncodeModes(const uint8_t* source, uint8_t* dest, int32_t dataSize);
  void DecodeModes(const uint8_t* source, uint8_t* dest, int32_t dataSize);
  void EncodeMAC(const uint8_t* source, int32_t dataSize);
  void CodeTail(const uint8_t* source, uint8_t* dest, int32_t size);
  void ECBTail(uint8_t* data, int32_t size);
  bool IsMACMode() const noexcept { return FCipherMode >= cmCTSMAC; }

  TCipherMode FCipherMode = cmCTS;
  THash* FKeyHash = nullptr;
  const THashClass* FKeyHashClass = nullptr;
  int32_t FKeyLen = 0;
  int32_t FBlockLen = 0;
  int32_t FContextLen = 0;
  std::unique_ptr<uint8_t[]> FWorkBlock;
  std::unique_ptr<uint8_t[]> FInitVector;
  std::unique_ptr<uint8_t[]> FFeedbackBlock;
  std::unique_ptr<uint8_t[]> FContext;
  uint32_t FStateFlags = 0;
};

// Blowfish: 64-bit blocks, keys of 1 to 56 bytes. An Init with an empty key
// (a size of 0 or less) is refused with ECipherException, FaultCode 2, and
// leaves the object uninitialized: Blowfish has no keyless schedule.
class TCipher_Blowfish : public TCipher {
  LIMPET_CLASS_AS(TCipher_Blowfish, TCipherClass)
  LIMPET_CIPHER_STATICS
 public:
  explicit TCipher_Blowfish(const std::string& password = std::string(), TProtection* protection = nullptr);

  void Init(const void* key, int32_t size, const void* ivector) override;
  void Encode(void* data) override;
  void Decode(void* data) override;

 protected:
  // For subclasses (see TCipher).
  TCipher_Blowfish(const TCipherClass* cls, TProtection* protection);
  ~TCipher_Blowfish() override = default;

  void EncodeECBBlocks(const uint8_t* source, uint8_t* dest, size_t blocks) override;
  void DecodeECBBlocks(const uint8_t* source, uint8_t* dest, size_t blocks) override;
  void EncodeCTSBlocks(const uint8_t* source, uint8_t* dest, size_t blocks) override;
  void DecodeCTSBlocks(const uint8_t* source, uint8_t* dest, size_t blocks) override;
};

// ===================================================================
// Entry encryption
// ===================================================================

// Replaces the stream's whole content (from position 0) by its Blowfish
// cmCTS encryption under the MD4 digest of the password, followed by a
// 4-byte password check value, and leaves the stream at position 0. An empty
// password does nothing.
void EncryptStream(const std::string& Password, TStream& Stream);
// Checks the password against the check value at the stream's end and
// replaces the content by the decrypted bytes without it, at position 0. A
// wrong password (or a stream of fewer than 4 bytes) raises
// ELQIncorrectPassword and leaves the bytes as they were. An empty password
// does nothing.
void DecryptStream(const std::string& Password, TStream& Stream);

}  // namespace limpet

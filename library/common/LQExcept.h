// Error classes of the library.
#pragma once

#include <cstdint>
#include <string>

#include "LQSysUtils.h"

namespace limpet {

LIMPET_DECLARE_ERROR(ELQException, Exception)
LIMPET_DECLARE_ERROR(ELQInvalidEXESignature, ELQException)
LIMPET_DECLARE_ERROR(ELQInvalidCentralInfo, ELQException)
LIMPET_DECLARE_ERROR(ELQFileEntryNotFound, ELQException)
LIMPET_DECLARE_ERROR(ELQIncorrectPassword, ELQException)
LIMPET_DECLARE_ERROR(ELQMemoryError, ELQException)
LIMPET_DECLARE_ERROR(ELQCannotUpdateResource, ELQException)
LIMPET_DECLARE_ERROR(ELQCannotOpenEXE, ELQException)

// A zlib failure (ZlibCode holds zlib's negative result) or a misuse of a
// zlib stream (ZlibCode 0).
class ELQZlibError : public ELQException {
 public:
  ELQZlibError(const std::string& message, int32_t zlibCode)
      : ELQException(message), FZlibCode(zlibCode) {}
  int32_t ZlibCode() const noexcept { return FZlibCode; }
  void SetZlibCode(int32_t code) noexcept { FZlibCode = code; }

 private:
  int32_t FZlibCode;
};

class ELQCompressError : public ELQZlibError {
 public:
  using ELQZlibError::ELQZlibError;
};

class ELQDecompressError : public ELQZlibError {
 public:
  using ELQZlibError::ELQZlibError;
};

LIMPET_DECLARE_ERROR(EProtection, Exception)
LIMPET_DECLARE_ERROR(EStringFormat, Exception)

class ECipherException : public Exception {
 public:
  ECipherException(const std::string& message, int32_t faultCode)
      : Exception(message), FFaultCode(faultCode) {}
  int32_t FaultCode() const noexcept { return FFaultCode; }
  void SetFaultCode(int32_t code) noexcept { FFaultCode = code; }

 private:
  int32_t FFaultCode;
};

}  // namespace limpet

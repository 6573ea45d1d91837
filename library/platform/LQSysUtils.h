// The platform's exception classes and its small formatting helpers.
#pragma once

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>
#include <type_traits>

namespace limpet {

// Base of every error the library raises. Carries a message text.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  const std::string& Message() const noexcept { return FMessage; }
  void SetMessage(std::string message) { FMessage = std::move(message); }
  const char* what() const noexcept override { return FMessage.c_str(); }

 private:
  std::string FMessage;
};

// Declares an error class with the constructors of its base.
#define LIMPET_DECLARE_ERROR(Name, Base) \
  class Name : public Base {             \
   public:                               \
    using Base::Base;                    \
  };

LIMPET_DECLARE_ERROR(EListError, Exception)
LIMPET_DECLARE_ERROR(EStreamError, Exception)
LIMPET_DECLARE_ERROR(EFileStreamError, EStreamError)
LIMPET_DECLARE_ERROR(EFOpenError, EFileStreamError)
LIMPET_DECLARE_ERROR(EFCreateError, EFileStreamError)
LIMPET_DECLARE_ERROR(EReadError, EStreamError)
LIMPET_DECLARE_ERROR(EWriteError, EStreamError)
LIMPET_DECLARE_ERROR(EInvalidPointer, Exception)

// Message texts of the platform errors.
inline constexpr const char* SFOpenError = "Cannot open file %s";
inline constexpr const char* SFCreateError = "Cannot create file %s";
inline constexpr const char* SReadError = "Stream read error";
inline constexpr const char* SWriteError = "Stream write error";
inline constexpr const char* SInvalidPointer = "Invalid pointer operation";

// One argument of FormatMessage: a string or an integer.
class TFormatArg {
 public:
  TFormatArg(const std::string& s) : FText(s) {}
  TFormatArg(const char* s) : FText(s != nullptr ? s : "") {}
  template <class T, class = std::enable_if_t<std::is_integral_v<T>>>
  TFormatArg(T value) : FText(std::to_string(value)) {}
  const std::string& Text() const noexcept { return FText; }

 private:
  std::string FText;
};

// Fills a message template: each "%s" or "%d" takes the next argument in
// order, "%%" is a literal percent sign. Missing arguments leave the
// directive as written, so a template can never read past its arguments.
std::string FormatMessage(const std::string& fmt, std::initializer_list<TFormatArg> args);

}  // namespace limpet

// The registry of string formats, the conversion entry points and the text
// routines.
#include <algorithm>
#include <cstring>

#include "CipUtils.h"
#include "CipUtilsPrivate.h"

namespace limpet {

namespace {

constexpr const char* SFormatNotExists = "String Format \"%d\" not exists.";
constexpr const char* SInvalidFormatInput = "Input is not an valid %s Format.";
constexpr const char* SCannotConvertInput = "Input can not be convert to %s Format.";

// Created by the first registration, freed at unit shut-down. Plain pointer
// and integer: constant-initialised, so usable whatever the order of
// start-up and exit.
std::vector<const TStringFormatClass*>* gFormats = nullptr;
int32_t gDefaultFormat = fmtMIME64;

int32_t ResolveLen(const void* value, int32_t len) noexcept {
  if (value == nullptr) return 0;
  if (len < 0) return static_cast<int32_t>(std::strlen(static_cast<const char*>(value)));
  return len;
}

// Runs for every class descriptor that is destroyed: a format class whose
// module is unloaded leaves the registry. Must not allocate or raise.
void FormatUnloadHook(const TClass* cls) noexcept {
  if (gFormats == nullptr) return;
  for (size_t i = gFormats->size(); i-- > 0;) {
    if (static_cast<const TClass*>((*gFormats)[i]) == cls) {
      gFormats->erase(gFormats->begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
}

const TStringFormatClass* FindFormat(int32_t format) noexcept {
  if (gFormats == nullptr) return nullptr;
  for (const TStringFormatClass* f : *gFormats) {
    if (f->Format() == format) return f;
  }
  return nullptr;
}

const TStringFormatClass* RequireFormat(int32_t format) {
  const TStringFormatClass* f = StringFormat(format);
  if (f == nullptr) throw EStringFormat(FormatMessage(SFormatNotExists, {format}));
  return f;
}

}  // namespace

namespace cip_internal {

bool InstallFormatUnloadHook() noexcept { return AddClassUnloadHook(&FormatUnloadHook); }

void RemoveFormatUnloadHook() noexcept { RemoveClassUnloadHook(&FormatUnloadHook); }

void FreeFormatRegistry() noexcept {
  delete gFormats;
  gFormats = nullptr;
}

void RegisterBuiltInFormats() {
  RegisterStringFormats({TStringFormat::Class(), TStringFormat_HEX::Class(),
                         TStringFormat_HEXL::Class(), TStringFormat_MIME64::Class(),
                         TStringFormat_UU::Class(), TStringFormat_XX::Class()});
}

}  // namespace cip_internal

// ------------------------------------------------------------ registry

void RegisterStringFormats(const std::vector<const TStringFormatClass*>& formats) {
  if (gFormats == nullptr) gFormats = new std::vector<const TStringFormatClass*>();
  for (const TStringFormatClass* f : formats) {
    if (f == nullptr) continue;
    int32_t id = f->Format();
    if (id == fmtDEFAULT) continue;
    auto same = std::find_if(gFormats->begin(), gFormats->end(),
                             [id](const TStringFormatClass* g) { return g->Format() == id; });
    if (same != gFormats->end()) {
      *same = f;
    } else {
      gFormats->push_back(f);
    }
  }
}

void RegisterStringFormats(std::initializer_list<const TStringFormatClass*> formats) {
  RegisterStringFormats(std::vector<const TStringFormatClass*>(formats));
}

const TStringFormatClass* StringFormat(int32_t format) {
  if (format == fmtDEFAULT) format = DefaultStringFormat();
  return FindFormat(format);
}

void GetStringFormats(TStringList* strings) {
  if (!IsObject(strings, TStringList::Class()) || gFormats == nullptr) return;
  for (const TStringFormatClass* f : *gFormats) strings->AddObject(f->Name(), f);
}

int32_t DefaultStringFormat() noexcept { return gDefaultFormat; }

void SetDefaultStringFormat(int32_t format) {
  if (format == fmtDEFAULT || FindFormat(format) == nullptr) {
    gDefaultFormat = fmtMIME64;
  } else {
    gDefaultFormat = format;
  }
}

// ------------------------------------------------------------ conversions

std::string StrToFormat(const void* value, int32_t len, int32_t format) {
  if (value == nullptr || format == fmtNONE) return std::string();
  len = ResolveLen(value, len);
  if (len == 0) return std::string();
  const TStringFormatClass* f = RequireFormat(format);
  if (!f->IsValid(value, len, false)) {
    throw EStringFormat(FormatMessage(SCannotConvertInput, {f->Name()}));
  }
  return f->StrTo(value, len);
}

std::string FormatToStr(const void* value, int32_t len, int32_t format) {
  if (value == nullptr || format == fmtNONE) return std::string();
  len = ResolveLen(value, len);
  if (len == 0) return std::string();
  const TStringFormatClass* f = RequireFormat(format);
  if (!f->IsValid(value, len, true)) {
    throw EStringFormat(FormatMessage(SInvalidFormatInput, {f->Name()}));
  }
  return f->ToStr(value, len);
}

std::string ConvertFormat(const void* value, int32_t len, int32_t fromFormat, int32_t toFormat) {
  if (fromFormat == fmtNONE || toFormat == fmtNONE) return std::string();
  if (fromFormat == toFormat) {
    len = ResolveLen(value, len);
    if (len == 0) return std::string();
    return std::string(static_cast<const char*>(value), static_cast<size_t>(len));
  }
  std::string raw = FormatToStr(value, len, fromFormat);
  return StrToFormat(raw.data(), static_cast<int32_t>(raw.size()), toFormat);
}

bool IsValidFormat(const void* value, int32_t len, int32_t format) {
  len = ResolveLen(value, len);
  if (len == 0) return true;
  const TStringFormatClass* f = StringFormat(format);
  if (f == nullptr) return false;
  try {
    return f->IsValid(value, len, true);
  } catch (...) {
    return false;
  }
}

bool IsValidString(const void* value, int32_t len, int32_t format) {
  len = ResolveLen(value, len);
  if (len == 0) return true;
  const TStringFormatClass* f = StringFormat(format);
  if (f == nullptr) return false;
  try {
    return f->IsValid(value, len, false);
  } catch (...) {
    return false;
  }
}

std::string StrToFormat(const std::string& value, int32_t format) {
  return StrToFormat(value.data(), static_cast<int32_t>(value.size()), format);
}

std::string FormatToStr(const std::string& value, int32_t format) {
  return FormatToStr(value.data(), static_cast<int32_t>(value.size()), format);
}

std::string ConvertFormat(const std::string& value, int32_t fromFormat, int32_t toFormat) {
  return ConvertFormat(value.data(), static_cast<int32_t>(value.size()), fromFormat, toFormat);
}

// ------------------------------------------------------------ text routines

std::string InsertCR(const std::string& value, int32_t blockSize) {
  if (blockSize <= 0 || static_cast<size_t>(blockSize) >= value.size()) return value;
  const size_t bs = static_cast<size_t>(blockSize);
  std::string out;
  out.reserve(value.size() + (value.size() / bs) * 2);
  size_t pos = 0;
  for (; pos + bs <= value.size(); pos += bs) {
    out.append(value, pos, bs);
    out += "\r\n";
  }
  out.append(value, pos, std::string::npos);
  return out;
}

std::string DeleteCR(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    if (c != '\r' && c != '\n') out += c;
  }
  return out;
}

std::string InsertBlocks(const std::string& value, const std::string& blockStart,
                         const std::string& blockEnd, int32_t blockSize) {
  if (blockSize <= 0 || static_cast<size_t>(blockSize) >= value.size()) return value;
  const size_t bs = static_cast<size_t>(blockSize);
  std::string out;
  out.reserve(value.size() + (value.size() / bs + 1) * (blockStart.size() + blockEnd.size()));
  for (size_t pos = 0; pos < value.size(); pos += bs) {
    out += blockStart;
    out.append(value, pos, bs);
    out += blockEnd;
  }
  return out;
}

std::string RemoveBlocks(const std::string& value, const std::string& blockStart,
                         const std::string& blockEnd) {
  // The text ends at its first zero byte.
  const std::string text = value.substr(0, value.find('\0'));
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t start = pos;
    if (!blockStart.empty()) {
      size_t found = text.find(blockStart, pos);
      if (found == std::string::npos) break;
      start = found + blockStart.size();
    }
    size_t end = blockEnd.empty() ? std::string::npos : text.find(blockEnd, start);
    if (end == std::string::npos) {
      if (start < text.size()) out.append(text, start, std::string::npos);
      break;
    }
    out.append(text, start, end - start);
    pos = end + blockEnd.size();
  }
  return out;
}

}  // namespace limpet

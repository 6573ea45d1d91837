#include "Text.h"

#include <cstdint>

namespace limpet::cli {

namespace {

// Length of the well-formed UTF-8 sequence at `i`, with its code point, or
// 0 when the bytes there are not one.
size_t SequenceAt(const std::string& s, size_t i, uint32_t& cp) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
  const uint8_t b0 = byte(i);
  cp = 0;
  size_t len;
  uint32_t min;
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  } else if ((b0 & 0xE0) == 0xC0) {
    len = 2, min = 0x80, cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, min = 0x800, cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, min = 0x10000, cp = b0 & 0x07;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    const uint8_t b = byte(i + k);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

void AppendHexByte(std::string& out, uint8_t b) {
  static const char digits[] = "0123456789abcdef";
  out += "\\x";
  out += digits[b >> 4];
  out += digits[b & 0x0F];
}

}  // namespace

bool IsValidUtf8(const std::string& bytes) {
  uint32_t cp;
  for (size_t i = 0; i < bytes.size();) {
    const size_t len = SequenceAt(bytes, i, cp);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

std::string HexOf(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 0x0F];
  }
  return out;
}

std::string Printable(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  uint32_t cp;
  for (size_t i = 0; i < bytes.size();) {
    const size_t len = SequenceAt(bytes, i, cp);
    const bool control = cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp <= 0x9F);
    if (len == 0 || control || cp == '\\') {
      const size_t n = len == 0 ? 1 : len;
      for (size_t k = 0; k < n; ++k) AppendHexByte(out, static_cast<uint8_t>(bytes[i + k]));
      i += n;
    } else {
      out.append(bytes, i, len);
      i += len;
    }
  }
  return out;
}

std::string Quoted(const std::string& bytes) {
  constexpr size_t kShown = 200;
  if (bytes.size() <= kShown) return "\"" + Printable(bytes) + "\"";
  // Cut at a character boundary.
  size_t cut = kShown;
  while (cut > 0 && (static_cast<uint8_t>(bytes[cut]) & 0xC0) == 0x80) --cut;
  return "\"" + Printable(bytes.substr(0, cut)) + "\"... (" + std::to_string(bytes.size()) + " bytes)";
}

}  // namespace limpet::cli

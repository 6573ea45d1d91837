#include "TestSupport.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace limpet::test {

TTempDir::TTempDir() {
  std::string base = std::filesystem::temp_directory_path().string() + "/limpet-test-XXXXXX";
  if (mkdtemp(base.data()) == nullptr) throw std::runtime_error("cannot create a temporary directory");
  FPath = base;
}

TTempDir::~TTempDir() {
  std::error_code ec;
  std::filesystem::remove_all(FPath, ec);
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::string FromHex(const std::string& hex) {
  std::string out;
  int pending = -1;
  for (char c : hex) {
    int v;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    else continue;
    if (pending < 0) {
      pending = v;
    } else {
      out += static_cast<char>(pending * 16 + v);
      pending = -1;
    }
  }
  if (pending >= 0) throw std::invalid_argument("odd number of hex digits");
  return out;
}

std::string ToHex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0) out += ' ';
    auto b = static_cast<uint8_t>(bytes[i]);
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

std::string RandomBytes(size_t size, uint32_t seed) {
  std::string out(size, '\0');
  uint64_t s = seed * 0x9E3779B97F4A7C15ull + 1;
  for (size_t i = 0; i < size; ++i) {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    out[i] = static_cast<char>(s >> 24);
  }
  return out;
}

std::string TextBytes(size_t size, uint32_t seed) {
  static const char* words[] = {"limpet", "kelp", "forest", "tide", "rock", "shell", "the",
                                "a", "binds", "files", "to", "its", "executable", "and"};
  std::string out;
  out.reserve(size + 16);
  uint32_t s = seed | 1;
  while (out.size() < size) {
    s = s * 1103515245u + 12345u;
    out += words[(s >> 16) % (sizeof(words) / sizeof(words[0]))];
    out += ((s >> 8) % 11 == 0) ? '\n' : ' ';
  }
  out.resize(size);
  return out;
}

}  // namespace limpet::test

// CRC-32 against zlib's crc32, and base 64 encoding and decoding against
// OpenSSL's EVP_EncodeBlock / EVP_DecodeBlock, on the same 64 MiB buffer in
// the same run. Every pair of results is cross-checked before timing.
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <utility>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "CipUtils.h"

#ifdef LIMPET_HAVE_OPENSSL
#include <openssl/evp.h>
#endif

using namespace limpet;

namespace {

constexpr size_t kSize = 64u << 20;
constexpr int kRuns = 7;

struct TRow {
  std::string Name;
  double Ours;       // MB/s
  double Reference;  // MB/s, 0 when there is none
};

void Print(const std::vector<TRow>& rows) {
  std::printf("%-40s %12s %12s %8s\n", "operation (64 MiB)", "limpet MB/s", "ref MB/s", "ratio");
  for (const TRow& r : rows) {
    if (r.Reference > 0) {
      std::printf("%-40s %12.0f %12.0f %8.2f\n", r.Name.c_str(), r.Ours, r.Reference, r.Ours / r.Reference);
    } else {
      std::printf("%-40s %12.0f %12s %8s\n", r.Name.c_str(), r.Ours, "-", "-");
    }
  }
}

volatile uint32_t gSink;

// Best times of two contenders measured alternately, so that a change of
// load on a shared machine hits both alike.
std::pair<double, double> BestPair(const std::function<void()>& a, const std::function<void()>& b) {
  double bestA = 1e30, bestB = 1e30;
  for (int i = 0; i < kRuns; ++i) {
    bestA = std::min(bestA, bench::BestSeconds(1, a));
    bestB = std::min(bestB, bench::BestSeconds(1, b));
  }
  return {bestA, bestB};
}

TRow Row(const std::string& name, const std::function<void()>& ours, const std::function<void()>& reference) {
  auto [a, b] = BestPair(ours, reference);
  return {name, bench::MBps(kSize, a), bench::MBps(kSize, b)};
}

}  // namespace

int main() {
  const std::string data = bench::MixedData(kSize);
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
  const auto size = static_cast<uint32_t>(data.size());
  std::vector<TRow> rows;

  // ---------------------------------------------------------------- CRC-32
  const uint32_t ours = CRC32(0xFFFFFFFFu, bytes, size) ^ 0xFFFFFFFFu;
  const auto zl = static_cast<uint32_t>(crc32(0, bytes, size));
  if (ours != zl) {
    std::fprintf(stderr, "CRC-32 mismatch: %08x against zlib %08x\n", ours, zl);
    return 1;
  }
  auto ourCrc = [&] { gSink = CRC32(0xFFFFFFFFu, bytes, size); };
  auto zlibCrc = [&] { gSink = static_cast<uint32_t>(crc32(0, bytes, size)); };
  rows.push_back(Row("CRC32 vs zlib crc32", ourCrc, zlibCrc));
  rows.push_back(Row("CRC32 portable path vs zlib crc32",
                     [&] { gSink = detail::CRC32Portable(0xFFFFFFFFu, bytes, size); }, zlibCrc));
  rows.push_back({"CRC16", bench::MBps(kSize, bench::BestSeconds(kRuns, [&] { gSink = CRC16(0, bytes, size); })), 0});

  // ---------------------------------------------------------------- base 64
  const std::string text = TStringFormat_MIME64::StrTo(data.data(), static_cast<int32_t>(size));
  if (FormatToStr(text, fmtMIME64) != data) {
    std::fprintf(stderr, "base 64 round trip failed\n");
    return 1;
  }
  const auto textLen = static_cast<int32_t>(text.size());
  std::vector<char> ourText(text.size());
  std::vector<uint8_t> ourRaw(text.size() / 4 * 3 + 3);
  auto encKernel = [&] { gSink = static_cast<uint32_t>(detail::Base64EncodeTo(bytes, size, ourText.data())); };
  auto decKernel = [&] {
    gSink = static_cast<uint32_t>(detail::Base64DecodeTo(text.data(), text.size(), ourRaw.data()));
  };
  auto encClass = [&] {
    gSink = static_cast<uint32_t>(TStringFormat_MIME64::StrTo(data.data(), static_cast<int32_t>(size)).size());
  };
  auto decClass = [&] { gSink = static_cast<uint32_t>(TStringFormat_MIME64::ToStr(text.data(), textLen).size()); };
  auto encApi = [&] {
    gSink = static_cast<uint32_t>(StrToFormat(data.data(), static_cast<int32_t>(size), fmtMIME64).size());
  };
  auto decApi = [&] { gSink = static_cast<uint32_t>(FormatToStr(text.data(), textLen, fmtMIME64).size()); };

#ifdef LIMPET_HAVE_OPENSSL
  std::vector<unsigned char> sslText(text.size() + 1);
  std::vector<unsigned char> sslRaw(text.size() / 4 * 3 + 3);
  int encLen = EVP_EncodeBlock(sslText.data(), bytes, static_cast<int>(size));
  if (encLen != textLen || std::memcmp(sslText.data(), text.data(), text.size()) != 0) {
    std::fprintf(stderr, "base 64 differs from OpenSSL's\n");
    return 1;
  }
  int decLen = EVP_DecodeBlock(sslRaw.data(), sslText.data(), encLen);
  // The block decoder keeps the bytes of the padding; the data comes first.
  if (decLen < static_cast<int>(size) || std::memcmp(sslRaw.data(), bytes, size) != 0) {
    std::fprintf(stderr, "OpenSSL's decoding differs\n");
    return 1;
  }
  // Into buffers allocated once (like for like with the codec over buffers) ...
  auto sslEnc = [&] { gSink = static_cast<uint32_t>(EVP_EncodeBlock(sslText.data(), bytes, static_cast<int>(size))); };
  auto sslDec = [&] { gSink = static_cast<uint32_t>(EVP_DecodeBlock(sslRaw.data(), sslText.data(), encLen)); };
  // ... and into a new string per call (like for like with the string API).
  auto sslEncNew = [&] {
    std::string out(text.size() + 1, '\0');
    gSink = static_cast<uint32_t>(
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), bytes, static_cast<int>(size)));
  };
  auto sslDecNew = [&] {
    std::string out(text.size() / 4 * 3, '\0');
    gSink = static_cast<uint32_t>(EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                                  reinterpret_cast<const unsigned char*>(text.data()), encLen));
  };
  rows.push_back(Row("b64 encode, buffers vs EVP_EncodeBlock", encKernel, sslEnc));
  rows.push_back(Row("b64 decode, buffers vs EVP_DecodeBlock", decKernel, sslDec));
  rows.push_back(Row("MIME64::StrTo vs EVP_EncodeBlock+alloc", encClass, sslEncNew));
  rows.push_back(Row("MIME64::ToStr vs EVP_DecodeBlock+alloc", decClass, sslDecNew));
  rows.push_back(Row("StrToFormat vs EVP_EncodeBlock+alloc", encApi, sslEncNew));
  rows.push_back(Row("FormatToStr vs EVP_DecodeBlock+alloc", decApi, sslDecNew));
#else
  const std::pair<const char*, std::function<void()>> alone[] = {
      {"b64 encode, buffers", encKernel}, {"b64 decode, buffers", decKernel}, {"MIME64::StrTo", encClass},
      {"MIME64::ToStr", decClass},        {"StrToFormat(4196)", encApi},      {"FormatToStr(4196)", decApi}};
  for (const auto& [name, fn] : alone) rows.push_back({name, bench::MBps(kSize, bench::BestSeconds(kRuns, fn)), 0});
#endif

  Print(rows);
  std::printf("MB/s are of raw bytes (10^6 per MB); best of %d runs, contenders alternating; peak RSS %.0f MiB\n", kRuns,
              bench::PeakRssMiB());
  return 0;
}

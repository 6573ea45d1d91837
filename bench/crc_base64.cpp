// CRC-32 against zlib's crc32, and base 64 encoding and decoding against
// OpenSSL's EVP_EncodeBlock / EVP_DecodeBlock, on the same 64 MiB buffer in
// the same run. Every pair of results is cross-checked before timing.
#include <zlib.h>

#include <cstdio>
#include <cstring>
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
  std::printf("%-36s %12s %12s %8s\n", "operation (64 MiB)", "limpet MB/s", "ref MB/s", "ratio");
  for (const TRow& r : rows) {
    if (r.Reference > 0) {
      std::printf("%-36s %12.0f %12.0f %8.2f\n", r.Name.c_str(), r.Ours, r.Reference, r.Ours / r.Reference);
    } else {
      std::printf("%-36s %12.0f %12s %8s\n", r.Name.c_str(), r.Ours, "-", "-");
    }
  }
}

volatile uint32_t gSink;

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
  double tOurs = bench::BestSeconds(kRuns, [&] { gSink = CRC32(0xFFFFFFFFu, bytes, size); });
  double tZlib = bench::BestSeconds(kRuns, [&] { gSink = static_cast<uint32_t>(crc32(0, bytes, size)); });
  rows.push_back({"CRC32 vs zlib crc32", bench::MBps(kSize, tOurs), bench::MBps(kSize, tZlib)});
  double tPortable = bench::BestSeconds(kRuns, [&] { gSink = detail::CRC32Portable(0xFFFFFFFFu, bytes, size); });
  rows.push_back({"CRC32 portable path vs zlib", bench::MBps(kSize, tPortable), bench::MBps(kSize, tZlib)});
  double t16 = bench::BestSeconds(kRuns, [&] { gSink = CRC16(0, bytes, size); });
  rows.push_back({"CRC16", bench::MBps(kSize, t16), 0});

  // ---------------------------------------------------------------- base 64
  const std::string text = TStringFormat_MIME64::StrTo(data.data(), static_cast<int32_t>(size));
  if (FormatToStr(text, fmtMIME64) != data) {
    std::fprintf(stderr, "base 64 round trip failed\n");
    return 1;
  }
  const auto textLen = static_cast<int32_t>(text.size());
  std::vector<char> ourText(text.size());
  std::vector<uint8_t> ourRaw(text.size() / 4 * 3 + 3);
  double tEncKernel = bench::BestSeconds(kRuns, [&] {
    gSink = static_cast<uint32_t>(detail::Base64EncodeTo(bytes, size, ourText.data()));
  });
  double tDecKernel = bench::BestSeconds(kRuns, [&] {
    gSink = static_cast<uint32_t>(detail::Base64DecodeTo(text.data(), text.size(), ourRaw.data()));
  });
  double tEnc = bench::BestSeconds(kRuns, [&] {
    gSink = static_cast<uint32_t>(TStringFormat_MIME64::StrTo(data.data(), static_cast<int32_t>(size)).size());
  });
  double tDec = bench::BestSeconds(kRuns, [&] {
    gSink = static_cast<uint32_t>(TStringFormat_MIME64::ToStr(text.data(), textLen).size());
  });
  double tEncApi = bench::BestSeconds(kRuns, [&] {
    gSink = static_cast<uint32_t>(StrToFormat(data.data(), static_cast<int32_t>(size), fmtMIME64).size());
  });
  double tDecApi = bench::BestSeconds(kRuns, [&] {
    gSink = static_cast<uint32_t>(FormatToStr(text.data(), textLen, fmtMIME64).size());
  });

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
  // Into buffers allocated once (like for like with the kernels) ...
  double tSslEnc = bench::BestSeconds(kRuns, [&] {
    gSink = static_cast<uint32_t>(EVP_EncodeBlock(sslText.data(), bytes, static_cast<int>(size)));
  });
  double tSslDec = bench::BestSeconds(kRuns, [&] {
    gSink = static_cast<uint32_t>(EVP_DecodeBlock(sslRaw.data(), sslText.data(), encLen));
  });
  // ... and into a new string per call (like for like with the string API).
  double tSslEncNew = bench::BestSeconds(kRuns, [&] {
    std::string out(text.size() + 1, '\0');
    gSink = static_cast<uint32_t>(
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), bytes, static_cast<int>(size)));
  });
  double tSslDecNew = bench::BestSeconds(kRuns, [&] {
    std::string out(text.size() / 4 * 3, '\0');
    gSink = static_cast<uint32_t>(EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                                  reinterpret_cast<const unsigned char*>(text.data()), encLen));
  });
  rows.push_back({"b64 encode, buffers vs EVP_Encode", bench::MBps(kSize, tEncKernel), bench::MBps(kSize, tSslEnc)});
  rows.push_back({"b64 decode, buffers vs EVP_Decode", bench::MBps(kSize, tDecKernel), bench::MBps(kSize, tSslDec)});
  rows.push_back({"MIME64::StrTo vs EVP_Encode+alloc", bench::MBps(kSize, tEnc), bench::MBps(kSize, tSslEncNew)});
  rows.push_back({"MIME64::ToStr vs EVP_Decode+alloc", bench::MBps(kSize, tDec), bench::MBps(kSize, tSslDecNew)});
  rows.push_back({"StrToFormat vs EVP_Encode+alloc", bench::MBps(kSize, tEncApi), bench::MBps(kSize, tSslEncNew)});
  rows.push_back({"FormatToStr vs EVP_Decode+alloc", bench::MBps(kSize, tDecApi), bench::MBps(kSize, tSslDecNew)});
#else
  rows.push_back({"b64 encode, buffers", bench::MBps(kSize, tEncKernel), 0});
  rows.push_back({"b64 decode, buffers", bench::MBps(kSize, tDecKernel), 0});
  rows.push_back({"MIME64::StrTo", bench::MBps(kSize, tEnc), 0});
  rows.push_back({"MIME64::ToStr", bench::MBps(kSize, tDec), 0});
  rows.push_back({"StrToFormat(4196)", bench::MBps(kSize, tEncApi), 0});
  rows.push_back({"FormatToStr(4196)", bench::MBps(kSize, tDecApi), 0});
#endif

  Print(rows);
  std::printf("MB/s are of raw bytes (10^6 per MB); best of %d runs; peak RSS %.0f MiB\n", kRuns,
              bench::PeakRssMiB());
  return 0;
}

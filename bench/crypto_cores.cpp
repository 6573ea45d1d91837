// Speed of the MD4 and Blowfish cores against OpenSSL's implementations,
// measured in the same run over the same 64 MiB:
//   MD4 digest                vs OpenSSL MD4         (target ratio >= 1.0)
//   Blowfish EncryptCTS       vs OpenSSL BF-CBC enc  (target ratio >= 1.0)
//   Blowfish DecryptCTS       vs OpenSSL BF-CBC dec  (target ratio >= 1.5)
// Before timing, the outputs are checked against OpenSSL's (MD4 digest,
// BF-ECB blocks, the first chained block) so that a fast but wrong core
// cannot pass.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "OpenSSLReference.h"
#include "BlowfishCore.h"
#include "MD4Core.h"


namespace {

using namespace limpet;

constexpr size_t kSize = 64u << 20;
constexpr int kRuns = 9;
constexpr double kMinSeconds = 5.0;

const uint8_t kKey[16] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF,
                          0xF0, 0xE1, 0xD2, 0xC3, 0xB4, 0xA5, 0x96, 0x87};
const uint8_t kIV[8] = {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x07, 0x18};

struct TRow {
  const char* Name;
  double Ours;
  double Reference;  // 0 when OpenSSL is missing
  double Target;
};

// Best times of ours and of the reference, measured alternately so that
// both see the same load on a shared machine: at least kRuns of each, and
// more until kMinSeconds have passed. Without a reference only ours is
// measured and the second time is 0.
void Measure(const std::function<void()>& ours, const std::function<void()>& reference, double& oursSeconds,
             double& referenceSeconds) {
  oursSeconds = 1e30;
  referenceSeconds = reference ? 1e30 : 0;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kRuns || std::chrono::steady_clock::now() - start < std::chrono::duration<double>(kMinSeconds);
       ++i) {
    oursSeconds = std::min(oursSeconds, bench::BestSeconds(1, ours));
    if (reference) referenceSeconds = std::min(referenceSeconds, bench::BestSeconds(1, reference));
  }
}

double Rate(double seconds) { return seconds > 0 ? bench::MBps(kSize, seconds) : 0; }

[[noreturn]] void Fail(const char* what) { bench::Fail("bench_crypto_cores", what); }

}  // namespace

int main() {
  std::vector<uint8_t> plain(kSize), cipher(kSize), back(kSize);
  {
    const std::string mixed = bench::MixedData(kSize);
    std::memcpy(plain.data(), mixed.data(), kSize);
  }
  blowfish::TContext ctx;
  blowfish::KeySchedule(ctx, kKey, sizeof(kKey));
  std::vector<TRow> rows;

#ifdef LIMPET_HAVE_OPENSSL
  if (OSSL_PROVIDER_load(nullptr, "legacy") == nullptr || OSSL_PROVIDER_load(nullptr, "default") == nullptr)
    Fail("cannot load the OpenSSL legacy provider");
  std::vector<uint8_t> reference(kSize);

  // Agreement with OpenSSL before any timing.
  uint8_t ours[16], theirs[16];
  md4::Digest(plain.data(), kSize, ours);
  bench::OpenSSLMD4(plain.data(), kSize, theirs);
  if (std::memcmp(ours, theirs, 16) != 0) Fail("MD4 differs from OpenSSL");
  const size_t ecbSize = 1u << 20;
  std::memcpy(cipher.data(), plain.data(), ecbSize);
  blowfish::EncryptECB(ctx, cipher.data(), ecbSize / 8);
  bench::OpenSSLCipher("BF-ECB", true, kKey, kIV, plain.data(), reference.data(), ecbSize);
  if (std::memcmp(cipher.data(), reference.data(), ecbSize) != 0) Fail("Blowfish ECB differs from OpenSSL");
#endif

  // MD4.
  {
    uint8_t digest[16];
    std::function<void()> ref;
#ifdef LIMPET_HAVE_OPENSSL
    ref = [&] { bench::OpenSSLMD4(plain.data(), kSize, digest); };
#endif
    double ours = 0, theirs = 0;
    Measure([&] { md4::Digest(plain.data(), kSize, digest); }, ref, ours, theirs);
    rows.push_back({"MD4 digest / OpenSSL MD4", Rate(ours), Rate(theirs), 1.0});
  }

  // Blowfish, chained encryption.
  {
    uint8_t feedback[8];
    std::function<void()> ref;
#ifdef LIMPET_HAVE_OPENSSL
    ref = [&] { bench::OpenSSLCipher("BF-CBC", true, kKey, kIV, plain.data(), reference.data(), kSize); };
#endif
    double ours = 0, theirs = 0;
    Measure(
        [&] {
          std::memcpy(feedback, kIV, 8);
          blowfish::EncryptCTS(ctx, feedback, plain.data(), cipher.data(), kSize / 8);
        },
        ref, ours, theirs);
#ifdef LIMPET_HAVE_OPENSSL
    // Both chains start with E(X0 xor IV).
    if (std::memcmp(cipher.data(), reference.data(), 8) != 0) Fail("first chained block differs from OpenSSL");
#endif
    rows.push_back({"Blowfish EncryptCTS / BF-CBC encrypt", Rate(ours), Rate(theirs), 1.0});
  }

  // Blowfish, chained decryption.
  {
    uint8_t feedback[8];
    std::vector<uint8_t> refBack(kSize);
    std::function<void()> ref;
#ifdef LIMPET_HAVE_OPENSSL
    ref = [&] { bench::OpenSSLCipher("BF-CBC", false, kKey, kIV, reference.data(), refBack.data(), kSize); };
#endif
    double ours = 0, theirs = 0;
    Measure(
        [&] {
          std::memcpy(feedback, kIV, 8);
          blowfish::DecryptCTS(ctx, feedback, cipher.data(), back.data(), kSize / 8);
        },
        ref, ours, theirs);
    if (back != plain) Fail("DecryptCTS does not invert EncryptCTS");
#ifdef LIMPET_HAVE_OPENSSL
    if (refBack != plain) Fail("OpenSSL BF-CBC round trip failed");
#endif
    rows.push_back({"Blowfish DecryptCTS / BF-CBC decrypt", Rate(ours), Rate(theirs), 1.5});
  }

  std::printf("%-38s %12s %12s %8s %8s\n", "64 MiB, best of >= 9 runs", "ours MB/s", "OpenSSL MB/s", "ratio", "target");
  for (const TRow& r : rows) {
    if (r.Reference > 0)
      std::printf("%-38s %12.1f %12.1f %8.2f %8.2f %s\n", r.Name, r.Ours, r.Reference, r.Ours / r.Reference, r.Target,
                  r.Ours / r.Reference >= r.Target ? "met" : "MISSED");
    else
      std::printf("%-38s %12.1f %12s %8s %8.2f\n", r.Name, r.Ours, "-", "-", r.Target);
  }
  std::printf("peak RSS %.1f MiB\n", bench::PeakRssMiB());
  return 0;
}

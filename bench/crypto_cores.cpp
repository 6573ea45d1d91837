// Speed of the MD4 and Blowfish cores against OpenSSL's implementations,
// measured in the same run over the same 64 MiB:
//   MD4 digest                vs OpenSSL MD4         (target ratio >= 1.0)
//   Blowfish EncryptCTS       vs OpenSSL BF-CBC enc  (target ratio >= 1.0)
//   Blowfish DecryptCTS       vs OpenSSL BF-CBC dec  (target ratio >= 1.5)
// Before timing, the outputs are checked against OpenSSL's (MD4 digest,
// BF-ECB blocks, the first chained block) so that a fast but wrong core
// cannot pass.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "BlowfishCore.h"
#include "MD4Core.h"

#ifdef LIMPET_HAVE_OPENSSL
#include <openssl/evp.h>
#include <openssl/provider.h>
#endif

namespace {

using namespace limpet;

constexpr size_t kSize = 64u << 20;
constexpr int kRuns = 9;

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
// both see the same load on a shared machine. Without a reference only ours
// is measured and the second time is 0.
void Measure(const std::function<void()>& ours, const std::function<void()>& reference, double& oursSeconds,
             double& referenceSeconds) {
  oursSeconds = 1e30;
  referenceSeconds = reference ? 1e30 : 0;
  for (int i = 0; i < kRuns; ++i) {
    oursSeconds = std::min(oursSeconds, bench::BestSeconds(1, ours));
    if (reference) referenceSeconds = std::min(referenceSeconds, bench::BestSeconds(1, reference));
  }
}

double Rate(double seconds) { return seconds > 0 ? bench::MBps(kSize, seconds) : 0; }

void Fail(const char* what) {
  std::fprintf(stderr, "bench_crypto_cores: %s\n", what);
  std::exit(1);
}

#ifdef LIMPET_HAVE_OPENSSL
// BF-CBC or BF-ECB through EVP, without padding, src to dst.
void OpenSSLCipher(const char* name, bool encrypt, const uint8_t* src, uint8_t* dst, size_t size) {
  EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  if (cipher == nullptr || ctx == nullptr) Fail("OpenSSL cipher unavailable");
  int len = 0;
  bool ok = EVP_CipherInit_ex2(ctx, cipher, nullptr, nullptr, encrypt ? 1 : 0, nullptr) == 1 &&
            EVP_CIPHER_CTX_set_key_length(ctx, sizeof(kKey)) == 1 &&
            EVP_CipherInit_ex2(ctx, nullptr, kKey, kIV, -1, nullptr) == 1 &&
            EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
            EVP_CipherUpdate(ctx, dst, &len, src, static_cast<int>(size)) == 1 &&
            static_cast<size_t>(len) == size;
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(cipher);
  if (!ok) Fail("OpenSSL cipher failed");
}

void OpenSSLMD4(const uint8_t* data, size_t size, uint8_t out[16]) {
  EVP_MD* md = EVP_MD_fetch(nullptr, "MD4", nullptr);
  unsigned int len = 0;
  bool ok = md != nullptr && EVP_Digest(data, size, out, &len, md, nullptr) == 1 && len == 16;
  EVP_MD_free(md);
  if (!ok) Fail("OpenSSL MD4 failed");
}
#endif

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
  OpenSSLMD4(plain.data(), kSize, theirs);
  if (std::memcmp(ours, theirs, 16) != 0) Fail("MD4 differs from OpenSSL");
  const size_t ecbSize = 1u << 20;
  std::memcpy(cipher.data(), plain.data(), ecbSize);
  blowfish::EncryptECB(ctx, cipher.data(), ecbSize / 8);
  OpenSSLCipher("BF-ECB", true, plain.data(), reference.data(), ecbSize);
  if (std::memcmp(cipher.data(), reference.data(), ecbSize) != 0) Fail("Blowfish ECB differs from OpenSSL");
#endif

  // MD4.
  {
    uint8_t digest[16];
    std::function<void()> ref;
#ifdef LIMPET_HAVE_OPENSSL
    ref = [&] { OpenSSLMD4(plain.data(), kSize, digest); };
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
    ref = [&] { OpenSSLCipher("BF-CBC", true, plain.data(), reference.data(), kSize); };
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
    ref = [&] { OpenSSLCipher("BF-CBC", false, reference.data(), refBack.data(), kSize); };
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

  std::printf("%-38s %12s %12s %8s %8s\n", "64 MiB, best of 9", "ours MB/s", "OpenSSL MB/s", "ratio", "target");
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

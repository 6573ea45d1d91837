// Speed of the hash and cipher classes over 64 MiB, against OpenSSL's
// implementations (legacy provider) measured in the same run, and against
// the raw cores and modes they are built on:
//   THash_MD4 Init/Calc/Done        vs OpenSSL MD4          (target >= 1.0)
//   Blowfish cmCTS EncodeBuffer     vs OpenSSL BF-CBC enc   (target >= 1.0)
//   Blowfish cmCTS DecodeBuffer     vs OpenSSL BF-CBC dec   (target >= 1.5)
//   EncryptStream / DecryptStream   vs the raw cmCTS mode   (target >= 0.9)
// and, for information, the class layer against the cores alone. Outputs
// are checked before timing so that a fast but wrong path cannot pass.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "OpenSSLReference.h"
#include "BlowfishCore.h"
#include "LQCipher.h"
#include "MD4Core.h"


namespace {

using namespace limpet;

constexpr size_t kSize = 64u << 20;
constexpr int kRuns = 7;

const uint8_t kKey[16] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF,
                          0xF0, 0xE1, 0xD2, 0xC3, 0xB4, 0xA5, 0x96, 0x87};
const uint8_t kIV[8] = {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x07, 0x18};
const char* const kPassword = "benchmark password";

struct TRow {
  std::string Name;
  double Ours;
  double Reference;  // 0 when the reference is missing
  double Target;     // 0 for information only
};

struct TCase {
  std::function<void()> Setup;  // untimed, before each run
  std::function<void()> Run;
};

// Best times of ours and of the reference, measured alternately so that
// both see the same load on a shared machine.
void Measure(const TCase& ours, const TCase* reference, double& oursSeconds, double& referenceSeconds) {
  oursSeconds = 1e30;
  referenceSeconds = reference != nullptr ? 1e30 : 0;
  for (int i = 0; i < kRuns; ++i) {
    if (ours.Setup) ours.Setup();
    oursSeconds = std::min(oursSeconds, bench::BestSeconds(1, ours.Run));
    if (reference != nullptr) {
      if (reference->Setup) reference->Setup();
      referenceSeconds = std::min(referenceSeconds, bench::BestSeconds(1, reference->Run));
    }
  }
}

double Rate(double seconds) { return seconds > 0 ? bench::MBps(kSize, seconds) : 0; }

[[noreturn]] void Fail(const char* what) { bench::Fail("bench_cipher", what); }

}  // namespace

int main() {
  std::vector<uint8_t> plain(kSize), coded(kSize), back(kSize), work(kSize);
  {
    const std::string mixed = bench::MixedData(kSize);
    std::memcpy(plain.data(), mixed.data(), kSize);
  }
  const auto size32 = static_cast<int32_t>(kSize);
  std::vector<TRow> rows;

  auto cipher = MakeRef<TCipher_Blowfish>();
  cipher->SetMode(cmCTS);
  cipher->Init(kKey, sizeof(kKey), kIV);
  blowfish::TContext core;
  blowfish::KeySchedule(core, kKey, sizeof(kKey));

#ifdef LIMPET_HAVE_OPENSSL
  if (OSSL_PROVIDER_load(nullptr, "legacy") == nullptr || OSSL_PROVIDER_load(nullptr, "default") == nullptr)
    Fail("cannot load the OpenSSL legacy provider");
  std::vector<uint8_t> reference(kSize), referenceBack(kSize);
  {
    // Agreement with OpenSSL before any timing: the MD4 digest, and the first
    // chained block (both chains start with E(X0 xor IV)).
    uint8_t theirs[16];
    bench::OpenSSLMD4(plain.data(), kSize, theirs);
    if (THash_MD4::CalcBuffer(plain.data(), size32, nullptr, fmtCOPY) != std::string(reinterpret_cast<char*>(theirs), 16))
      Fail("MD4 differs from OpenSSL");
    cipher->EncodeBuffer(plain.data(), coded.data(), 8);
    cipher->Done();
    bench::OpenSSLCipher("BF-CBC", true, kKey, kIV, plain.data(), reference.data(), 8);
    if (std::memcmp(coded.data(), reference.data(), 8) != 0) Fail("first chained block differs from OpenSSL");
  }
#endif

  // ---------------------------------------------------------- MD4
  {
    auto hash = MakeRef<THash_MD4>();
    TCase ours{nullptr, [&] {
                 hash->Init();
                 hash->Calc(plain.data(), size32);
                 hash->Done();
               }};
    TCase core4{nullptr, [&] {
                  uint8_t digest[16];
                  md4::Digest(plain.data(), kSize, digest);
                }};
    double o = 0, r = 0;
#ifdef LIMPET_HAVE_OPENSSL
    TCase ref{nullptr, [&] {
                uint8_t digest[16];
                bench::OpenSSLMD4(plain.data(), kSize, digest);
              }};
    Measure(ours, &ref, o, r);
    rows.push_back({"THash_MD4 / OpenSSL MD4", Rate(o), Rate(r), 1.0});
#endif
    Measure(ours, &core4, o, r);
    rows.push_back({"THash_MD4 / MD4 core", Rate(o), Rate(r), 0});
  }

  // ---------------------------------------------------------- cmCTS
  {
    TCase encode{[&] { cipher->Done(); }, [&] { cipher->EncodeBuffer(plain.data(), coded.data(), size32); }};
    TCase decode{[&] { cipher->Done(); }, [&] { cipher->DecodeBuffer(coded.data(), back.data(), size32); }};
    uint8_t feedback[8];
    TCase coreEncode{[&] { std::memcpy(feedback, kIV, 8); },
                     [&] { blowfish::EncryptCTS(core, feedback, plain.data(), work.data(), kSize / 8); }};
    TCase coreDecode{[&] { std::memcpy(feedback, kIV, 8); },
                     [&] { blowfish::DecryptCTS(core, feedback, coded.data(), work.data(), kSize / 8); }};
    double o = 0, r = 0;
#ifdef LIMPET_HAVE_OPENSSL
    TCase refEncode{nullptr,
                    [&] { bench::OpenSSLCipher("BF-CBC", true, kKey, kIV, plain.data(), reference.data(), kSize); }};
    TCase refDecode{nullptr, [&] {
                      bench::OpenSSLCipher("BF-CBC", false, kKey, kIV, reference.data(), referenceBack.data(), kSize);
                    }};
    Measure(encode, &refEncode, o, r);
    rows.push_back({"cmCTS EncodeBuffer / BF-CBC encrypt", Rate(o), Rate(r), 1.0});
    Measure(decode, &refDecode, o, r);
    rows.push_back({"cmCTS DecodeBuffer / BF-CBC decrypt", Rate(o), Rate(r), 1.5});
    if (referenceBack != plain) Fail("OpenSSL BF-CBC round trip failed");
#else
    Measure(encode, nullptr, o, r);
    Measure(decode, nullptr, o, r);
#endif
    if (back != plain) Fail("cmCTS decoding does not restore the data");
    Measure(encode, &coreEncode, o, r);
    rows.push_back({"cmCTS EncodeBuffer / core EncryptCTS", Rate(o), Rate(r), 0});
    if (work != coded) Fail("the class and the core disagree");
    Measure(decode, &coreDecode, o, r);
    rows.push_back({"cmCTS DecodeBuffer / core DecryptCTS", Rate(o), Rate(r), 0});
  }

  // ---------------------------------------------------------- entry encryption
  {
    // The raw mode under the entry key, for comparison and as the expected
    // output.
    auto entry = MakeRef<TCipher_Blowfish>(kPassword);
    TMemoryStream stream;
    stream.SetSize(static_cast<int64_t>(kSize) + 4);
    auto loadPlain = [&] {
      stream.SetSize(static_cast<int64_t>(kSize));
      std::memcpy(stream.Memory(), plain.data(), kSize);
      stream.SetPosition(0);
    };
    std::vector<uint8_t> encrypted;
    auto loadEncrypted = [&] {
      stream.SetSize(static_cast<int64_t>(encrypted.size()));
      std::memcpy(stream.Memory(), encrypted.data(), encrypted.size());
      stream.SetPosition(0);
    };
    loadPlain();
    EncryptStream(kPassword, stream);
    encrypted.assign(stream.Memory(), stream.Memory() + stream.Size());
    entry->EncodeBuffer(plain.data(), coded.data(), size32);
    entry->Done();
    if (encrypted.size() != kSize + 4 || std::memcmp(encrypted.data(), coded.data(), kSize) != 0)
      Fail("EncryptStream differs from one cmCTS pass");
    DecryptStream(kPassword, stream);
    if (stream.Size() != static_cast<int64_t>(kSize) || std::memcmp(stream.Memory(), plain.data(), kSize) != 0)
      Fail("DecryptStream does not restore the data");

    TCase encrypt{loadPlain, [&] { EncryptStream(kPassword, stream); }};
    TCase decrypt{loadEncrypted, [&] { DecryptStream(kPassword, stream); }};
    TCase rawEncode{[&] { entry->Done(); }, [&] { entry->EncodeBuffer(plain.data(), coded.data(), size32); }};
    TCase rawDecode{[&] { entry->Done(); }, [&] { entry->DecodeBuffer(coded.data(), back.data(), size32); }};
    double o = 0, r = 0;
    Measure(encrypt, &rawEncode, o, r);
    rows.push_back({"EncryptStream / raw cmCTS encode", Rate(o), Rate(r), 0.9});
    Measure(decrypt, &rawDecode, o, r);
    rows.push_back({"DecryptStream / raw cmCTS decode", Rate(o), Rate(r), 0.9});
#ifdef LIMPET_HAVE_OPENSSL
    TCase refEncode{nullptr,
                    [&] { bench::OpenSSLCipher("BF-CBC", true, kKey, kIV, plain.data(), reference.data(), kSize); }};
    TCase refDecode{nullptr, [&] {
                      bench::OpenSSLCipher("BF-CBC", false, kKey, kIV, reference.data(), referenceBack.data(), kSize);
                    }};
    Measure(encrypt, &refEncode, o, r);
    rows.push_back({"EncryptStream / BF-CBC encrypt", Rate(o), Rate(r), 0});
    Measure(decrypt, &refDecode, o, r);
    rows.push_back({"DecryptStream / BF-CBC decrypt", Rate(o), Rate(r), 0});
#endif
  }

  std::printf("%-40s %12s %12s %8s %8s\n", "64 MiB, best of 7", "ours MB/s", "ref MB/s", "ratio", "target");
  for (const TRow& r : rows) {
    if (r.Reference <= 0) {
      std::printf("%-40s %12.1f %12s %8s %8.2f\n", r.Name.c_str(), r.Ours, "-", "-", r.Target);
    } else if (r.Target > 0) {
      const double ratio = r.Ours / r.Reference;
      std::printf("%-40s %12.1f %12.1f %8.2f %8.2f %s\n", r.Name.c_str(), r.Ours, r.Reference, ratio, r.Target,
                  ratio >= r.Target ? "met" : "MISSED");
    } else {
      std::printf("%-40s %12.1f %12.1f %8.2f %8s\n", r.Name.c_str(), r.Ours, r.Reference, r.Ours / r.Reference, "-");
    }
  }
  std::printf("peak RSS %.1f MiB\n", bench::PeakRssMiB());
  return 0;
}

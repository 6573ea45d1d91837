// OpenSSL as the reference of the cryptographic benchmarks (header only).
// Blowfish and MD4 live in OpenSSL's legacy provider, which the benchmark
// loads before measuring.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#ifdef LIMPET_HAVE_OPENSSL
#include <openssl/evp.h>
#include <openssl/provider.h>
#endif

namespace limpet::bench {

[[noreturn]] inline void Fail(const char* program, const char* what) {
  std::fprintf(stderr, "%s: %s\n", program, what);
  std::exit(1);
}

#ifdef LIMPET_HAVE_OPENSSL
// A cipher such as "BF-CBC" or "BF-ECB" through EVP, 16-byte key, without
// padding, src to dst.
inline void OpenSSLCipher(const char* name, bool encrypt, const uint8_t key[16], const uint8_t* iv,
                          const uint8_t* src, uint8_t* dst, size_t size) {
  EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  if (cipher == nullptr || ctx == nullptr) Fail("OpenSSL", "cipher unavailable");
  int len = 0;
  bool ok = EVP_CipherInit_ex2(ctx, cipher, nullptr, nullptr, encrypt ? 1 : 0, nullptr) == 1 &&
            EVP_CIPHER_CTX_set_key_length(ctx, 16) == 1 &&
            EVP_CipherInit_ex2(ctx, nullptr, key, iv, -1, nullptr) == 1 &&
            EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
            EVP_CipherUpdate(ctx, dst, &len, src, static_cast<int>(size)) == 1 && static_cast<size_t>(len) == size;
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(cipher);
  if (!ok) Fail("OpenSSL", "cipher failed");
}

inline void OpenSSLMD4(const uint8_t* data, size_t size, uint8_t out[16]) {
  EVP_MD* md = EVP_MD_fetch(nullptr, "MD4", nullptr);
  unsigned int len = 0;
  bool ok = md != nullptr && EVP_Digest(data, size, out, &len, md, nullptr) == 1 && len == 16;
  EVP_MD_free(md);
  if (!ok) Fail("OpenSSL", "MD4 failed");
}
#endif

}  // namespace limpet::bench

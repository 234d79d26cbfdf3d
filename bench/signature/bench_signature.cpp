// Signature arithmetic, natively, next to the reference libraries:
//   - MD5 throughput over 64 MiB against OpenSSL's MD5; target: at least 0.7
//     of its throughput (the exit code is 1 when missed);
//   - BigInt::PowMod of a 96-bit base with exponent 17 modulo a 96-bit
//     modulus, ns per call, against GMP's mpz_powm (reported, no target);
//   - one whole signature check of a 4 KiB document, ns per call.
// Each figure is the best of several runs.
#include <gmp.h>
#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_timing.h"
#include "signature/big_int.h"
#include "signature/file_signature.h"
#include "signature/md5.h"

namespace {

// Keeps the optimiser from dropping results.
volatile unsigned gSink;

}  // namespace

int main() {
  constexpr std::size_t kMd5Bytes = std::size_t{64} << 20;
  std::vector<unsigned char> data(kMd5Bytes);
  std::mt19937_64 random(4711);
  for (auto& byte : data) byte = static_cast<unsigned char>(random());

  const double ours =
      bench::BestSeconds(5, [&] { gSink = ComputeMd5(data.data(), data.size())[0]; });
  const double reference = bench::BestSeconds(5, [&] {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), digest, &length, EVP_md5(), nullptr);
    gSink = digest[0];
  });
  const double mib = static_cast<double>(kMd5Bytes) / (1 << 20);
  const double ratio = reference / ours;
  std::printf(
      "MD5 64 MiB:      ours %7.1f MiB/s, OpenSSL %7.1f MiB/s, ratio %.2f (target >= 0.70) %s\n",
      mib / ours, mib / reference, ratio, ratio >= 0.7 ? "met" : "MISSED");

  // PowMod with the sizes of the signature check.
  const BigInt modulus{std::string_view(kSignatureModulusText)};
  const BigInt exponent(17);
  const BigInt base{std::string_view("C4B2E17D09A3F5866B1E2D3F")};
  constexpr int kCalls = 200000;
  const double powMod = bench::BestSeconds(5, [&] {
    for (int i = 0; i < kCalls; ++i) gSink = base.PowMod(exponent, modulus).GetDigit(0);
  });
  mpz_t gmpBase, gmpExponent, gmpModulus, gmpResult;
  mpz_init_set_str(gmpBase, "C4B2E17D09A3F5866B1E2D3F", 16);
  mpz_init_set_ui(gmpExponent, 17);
  mpz_init_set_str(gmpModulus, kSignatureModulusText, 16);
  mpz_init(gmpResult);
  const double gmpPowMod = bench::BestSeconds(5, [&] {
    for (int i = 0; i < kCalls; ++i) {
      mpz_powm(gmpResult, gmpBase, gmpExponent, gmpModulus);
      gSink = static_cast<unsigned>(mpz_get_ui(gmpResult));
    }
  });
  mpz_clears(gmpBase, gmpExponent, gmpModulus, gmpResult, nullptr);
  std::printf("PowMod 96-bit:   ours %7.0f ns/call, mpz_powm %7.0f ns/call (%.1fx)\n",
              powMod / kCalls * 1e9, gmpPowMod / kCalls * 1e9, powMod / gmpPowMod);

  const std::string document(4096, 'x');
  constexpr int kChecks = 50000;
  const double check = bench::BestSeconds(3, [&] {
    for (int i = 0; i < kChecks; ++i) {
      gSink = SignatureTextVerifies("0123456789ABCDEF01234567", 20240517, document);
    }
  });
  std::printf("Signature check: %7.0f ns/call for a 4 KiB document\n", check / kChecks * 1e9);
  return ratio >= 0.7 ? 0 : 1;
}

// P-256 with OpenSSL's libcrypto, for the Linux tool. Each object has one
// owner (a unique_ptr with its free function); every failure returns false.
#include "signature/p256.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/ec.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/obj_mac.h>
#include <openssl/param_build.h>

#include <algorithm>
#include <memory>

namespace signature {

namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* object) const { Free(object); }
};
template <typename T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, Deleter<T, Free>>;

using OwnedBn = Owned<BIGNUM, BN_free>;
using OwnedSecureBn = Owned<BIGNUM, BN_clear_free>;
using OwnedGroup = Owned<EC_GROUP, EC_GROUP_free>;
using OwnedPoint = Owned<EC_POINT, EC_POINT_free>;
using OwnedSig = Owned<ECDSA_SIG, ECDSA_SIG_free>;
using OwnedKey = Owned<EVP_PKEY, EVP_PKEY_free>;
using OwnedKeyContext = Owned<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;
using OwnedParamBuild = Owned<OSSL_PARAM_BLD, OSSL_PARAM_BLD_free>;
using OwnedParams = Owned<OSSL_PARAM, OSSL_PARAM_free>;
using OwnedMdContext = Owned<EVP_MD_CTX, EVP_MD_CTX_free>;

constexpr char kCurveName[] = "prime256v1";

const unsigned char* Bytes(std::string_view text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

// The uncompressed encoding 0x04 || X || Y of `point`.
std::array<unsigned char, 1 + kP256PointSize> Uncompressed(const P256Point& point) {
  std::array<unsigned char, 1 + kP256PointSize> encoded{};
  encoded[0] = 0x04;
  std::copy(point.begin(), point.end(), encoded.begin() + 1);
  return encoded;
}

// A key from its parts: the public point always, the scalar when signing.
OwnedKey MakeKey(const P256Point& publicPoint, const BIGNUM* scalar) {
  const auto encoded = Uncompressed(publicPoint);
  // Refuses a point that is not on the curve before the key is built.
  const OwnedGroup group(EC_GROUP_new_by_curve_name(NID_X9_62_prime256v1));
  if (!group) return nullptr;
  const OwnedPoint point(EC_POINT_new(group.get()));
  if (!point ||
      EC_POINT_oct2point(group.get(), point.get(), encoded.data(), encoded.size(), nullptr) != 1 ||
      EC_POINT_is_on_curve(group.get(), point.get(), nullptr) != 1) {
    return nullptr;
  }
  const OwnedParamBuild build(OSSL_PARAM_BLD_new());
  if (!build ||
      OSSL_PARAM_BLD_push_utf8_string(build.get(), OSSL_PKEY_PARAM_GROUP_NAME, kCurveName, 0) !=
          1 ||
      OSSL_PARAM_BLD_push_octet_string(build.get(), OSSL_PKEY_PARAM_PUB_KEY, encoded.data(),
                                       encoded.size()) != 1 ||
      (scalar != nullptr &&
       OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_PRIV_KEY, scalar) != 1)) {
    return nullptr;
  }
  const OwnedParams params(OSSL_PARAM_BLD_to_param(build.get()));
  const OwnedKeyContext context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
  if (!params || !context || EVP_PKEY_fromdata_init(context.get()) != 1) return nullptr;
  EVP_PKEY* key = nullptr;
  const int selection = scalar != nullptr ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY;
  if (EVP_PKEY_fromdata(context.get(), &key, selection, params.get()) != 1) return nullptr;
  return OwnedKey(key);
}

// The group order n.
OwnedBn GroupOrder() {
  const OwnedGroup group(EC_GROUP_new_by_curve_name(NID_X9_62_prime256v1));
  if (!group) return nullptr;
  const BIGNUM* order = EC_GROUP_get0_order(group.get());
  return OwnedBn(order != nullptr ? BN_dup(order) : nullptr);
}

void FreeOpenSslBytes(unsigned char* bytes) { OPENSSL_free(bytes); }
using OwnedBytes = Owned<unsigned char, FreeOpenSslBytes>;

bool ToFixed(const BIGNUM* value, unsigned char* out) {
  return BN_bn2binpad(value, out, static_cast<int>(kP256CoordinateSize)) ==
         static_cast<int>(kP256CoordinateSize);
}

}  // namespace

bool Sha256(std::string_view bytes, Sha256Digest& digest) {
  const OwnedMdContext context(EVP_MD_CTX_new());
  unsigned int size = 0;
  Sha256Digest out{};
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1 ||
      EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) != 1 ||
      EVP_DigestFinal_ex(context.get(), out.data(), &size) != 1 || size != out.size()) {
    return false;
  }
  digest = out;
  return true;
}

bool VerifyP256(const P256Point& publicPoint, std::string_view message,
                const P256Signature& signature) {
  OwnedBn r(BN_bin2bn(signature.data(), static_cast<int>(kP256CoordinateSize), nullptr));
  OwnedBn s(BN_bin2bn(signature.data() + kP256CoordinateSize, static_cast<int>(kP256CoordinateSize),
                      nullptr));
  const OwnedBn order = GroupOrder();
  if (!r || !s || !order) return false;
  // 1 <= r, s < n: ECDSA's own rule, checked here rather than left to the library.
  if (BN_is_zero(r.get()) || BN_is_zero(s.get()) || BN_cmp(r.get(), order.get()) >= 0 ||
      BN_cmp(s.get(), order.get()) >= 0) {
    return false;
  }
  const OwnedSig sig(ECDSA_SIG_new());
  if (!sig || ECDSA_SIG_set0(sig.get(), r.get(), s.get()) != 1) return false;
  static_cast<void>(r.release());  // both now owned by sig
  static_cast<void>(s.release());
  unsigned char* der = nullptr;
  const int derSize = i2d_ECDSA_SIG(sig.get(), &der);
  const OwnedBytes derOwner(der);
  if (derSize <= 0) return false;

  const OwnedKey key = MakeKey(publicPoint, nullptr);
  const OwnedMdContext context(EVP_MD_CTX_new());
  if (!key || !context ||
      EVP_DigestVerifyInit_ex(context.get(), nullptr, "SHA256", nullptr, nullptr, key.get(),
                              nullptr) != 1) {
    return false;
  }
  return EVP_DigestVerify(context.get(), der, static_cast<std::size_t>(derSize), Bytes(message),
                          message.size()) == 1;
}

bool SignP256(const P256PrivateKey& key, std::string_view message, P256Signature& signature) {
  const OwnedSecureBn scalar(
      BN_bin2bn(key.scalar.data(), static_cast<int>(key.scalar.size()), nullptr));
  if (!scalar) return false;
  const OwnedKey pkey = MakeKey(key.publicPoint, scalar.get());
  const OwnedMdContext context(EVP_MD_CTX_new());
  if (!pkey || !context ||
      EVP_DigestSignInit_ex(context.get(), nullptr, "SHA256", nullptr, nullptr, pkey.get(),
                            nullptr) != 1) {
    return false;
  }
  std::size_t derSize = 0;
  if (EVP_DigestSign(context.get(), nullptr, &derSize, Bytes(message), message.size()) != 1 ||
      derSize == 0) {
    return false;
  }
  const OwnedBytes der(static_cast<unsigned char*>(OPENSSL_malloc(derSize)));
  if (!der ||
      EVP_DigestSign(context.get(), der.get(), &derSize, Bytes(message), message.size()) != 1) {
    return false;
  }
  const unsigned char* cursor = der.get();
  const OwnedSig sig(d2i_ECDSA_SIG(nullptr, &cursor, static_cast<long>(derSize)));
  if (!sig) return false;
  P256Signature out{};
  if (!ToFixed(ECDSA_SIG_get0_r(sig.get()), out.data()) ||
      !ToFixed(ECDSA_SIG_get0_s(sig.get()), out.data() + kP256CoordinateSize)) {
    return false;
  }
  // The public point must belong to the scalar: a signature that does not
  // verify under the key's own point is never handed out.
  if (!VerifyP256(key.publicPoint, message, out)) return false;
  signature = out;
  return true;
}

bool GenerateP256(P256PrivateKey& key) {
  const OwnedKey pkey(EVP_EC_gen(kCurveName));
  if (!pkey) return false;
  BIGNUM* scalarOut = nullptr;
  if (EVP_PKEY_get_bn_param(pkey.get(), OSSL_PKEY_PARAM_PRIV_KEY, &scalarOut) != 1) return false;
  const OwnedSecureBn scalar(scalarOut);
  std::array<unsigned char, 1 + kP256PointSize> encoded{};
  std::size_t encodedSize = 0;
  if (EVP_PKEY_get_octet_string_param(pkey.get(), OSSL_PKEY_PARAM_PUB_KEY, encoded.data(),
                                      encoded.size(), &encodedSize) != 1 ||
      encodedSize != encoded.size() || encoded[0] != 0x04) {
    return false;
  }
  P256PrivateKey made;
  if (!ToFixed(scalar.get(), made.scalar.data())) return false;
  std::copy(encoded.begin() + 1, encoded.end(), made.publicPoint.begin());
  key = made;
  OPENSSL_cleanse(made.scalar.data(), made.scalar.size());
  return true;
}

}  // namespace signature

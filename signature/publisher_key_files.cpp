#include "signature/publisher_key_files.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace signature {

namespace {

// DER tags.
constexpr std::uint8_t kInteger = 0x02;
constexpr std::uint8_t kBitString = 0x03;
constexpr std::uint8_t kOctetString = 0x04;
constexpr std::uint8_t kObjectId = 0x06;
constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kContext0 = 0xA0;
constexpr std::uint8_t kContext1 = 0xA1;

// The contents of the object identifiers 1.2.840.10045.2.1 (an EC public key)
// and 1.2.840.10045.3.1.7 (the curve P-256).
constexpr std::string_view kEcPublicKeyOid("\x2A\x86\x48\xCE\x3D\x02\x01", 7);
constexpr std::string_view kP256Oid("\x2A\x86\x48\xCE\x3D\x03\x01\x07", 8);

// The group order n of P-256, big-endian.
constexpr std::array<std::uint8_t, kP256CoordinateSize> kP256Order = {
    0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xBC, 0xE6, 0xFA, 0xAD, 0xA7, 0x17, 0x9E, 0x84, 0xF3, 0xB9, 0xCA, 0xC2, 0xFC, 0x63, 0x25, 0x51};

constexpr char kPrivateLabel[] = "PRIVATE KEY";
constexpr char kPublicLabel[] = "PUBLIC KEY";
constexpr std::size_t kPemLineLength = 64;

// --- Base64 (RFC 4648, with padding) ---

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Strict: whole groups of four, '=' only as the last one or two characters,
// the bits a padded group leaves over zero.
std::optional<std::string> DecodeBase64(std::string_view text) {
  if (text.empty() || text.size() % 4 != 0) return std::nullopt;
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t at = 0; at < text.size(); at += 4) {
    const bool last = at + 4 == text.size();
    std::size_t padding = 0;
    if (last && text[at + 3] == '=') padding = text[at + 2] == '=' ? 2 : 1;
    std::uint32_t group = 0;
    for (std::size_t i = 0; i < 4; ++i) {
      if (i >= 4 - padding) {
        group <<= 6;
        continue;
      }
      const int value = Base64Value(text[at + i]);
      if (value < 0) return std::nullopt;
      group = group << 6 | static_cast<std::uint32_t>(value);
    }
    if ((padding == 1 && (group & 0xFFu) != 0) || (padding == 2 && (group & 0xFFFFu) != 0)) {
      return std::nullopt;
    }
    out.push_back(static_cast<char>(group >> 16));
    if (padding < 2) out.push_back(static_cast<char>(group >> 8 & 0xFFu));
    if (padding < 1) out.push_back(static_cast<char>(group & 0xFFu));
  }
  return out;
}

std::string EncodeBase64(std::string_view bytes) {
  constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t at = 0; at < bytes.size(); at += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - at);
    std::uint32_t group = 0;
    for (std::size_t i = 0; i < 3; ++i) {
      group = group << 8 | (i < n ? static_cast<std::uint8_t>(bytes[at + i]) : 0u);
    }
    for (std::size_t i = 0; i < 4; ++i) {
      out.push_back(i <= n ? kDigits[group >> (18 - 6 * i) & 0x3Fu] : '=');
    }
  }
  return out;
}

// --- PEM (RFC 7468, strict) ---

std::string BeginLine(std::string_view label) {
  return "-----BEGIN " + std::string(label) + "-----";
}
std::string EndLine(std::string_view label) { return "-----END " + std::string(label) + "-----"; }

// The lines of `text`, each without its LF or CR LF; the last line may lack
// its end. False for a bare CR or a NUL.
bool SplitLines(std::string_view text, std::vector<std::string_view>& lines) {
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find('\r') != std::string_view::npos || line.find('\0') != std::string_view::npos) {
      return false;
    }
    lines.push_back(line);
  }
  return true;
}

ReadResult DecodePem(std::string_view text, std::string_view label, std::string& der) {
  if (text.size() > kPublisherKeyFileMaxSize) {
    return ReadResult::Failed(
        0, "the key file is longer than " + std::to_string(kPublisherKeyFileMaxSize) + " bytes");
  }
  std::vector<std::string_view> lines;
  if (!SplitLines(text, lines) || lines.empty()) {
    return ReadResult::Failed(0, "not a PEM file");
  }
  const std::string_view first = lines.front();
  if (first != BeginLine(label)) {
    constexpr std::string_view kBegin = "-----BEGIN ";
    constexpr std::string_view kDashes = "-----";
    if (first.size() > kBegin.size() + kDashes.size() && first.substr(0, kBegin.size()) == kBegin &&
        first.substr(first.size() - kDashes.size()) == kDashes) {
      const std::string_view found =
          first.substr(kBegin.size(), first.size() - kBegin.size() - kDashes.size());
      return ReadResult::Failed(1, "line 1: a PEM \"" + std::string(found) + "\" file, not \"" +
                                       std::string(label) + "\"");
    }
    return ReadResult::Failed(1, "line 1: not \"" + BeginLine(label) + "\"");
  }
  std::string base64;
  std::size_t i = 1;
  for (; i < lines.size() && lines[i] != EndLine(label); ++i) {
    const std::string_view line = lines[i];
    const bool lastBase64Line = i + 1 < lines.size() && lines[i + 1] == EndLine(label);
    if (line.empty() || line.size() > kPemLineLength ||
        (!lastBase64Line && line.size() != kPemLineLength)) {
      return ReadResult::Failed(
          static_cast<std::int32_t>(i + 1),
          "line " + std::to_string(i + 1) + ": not a base64 line of 64 characters");
    }
    base64.append(line);
  }
  if (i >= lines.size()) return ReadResult::Failed(0, "no \"" + EndLine(label) + "\" line");
  if (i + 1 != lines.size()) {
    return ReadResult::Failed(static_cast<std::int32_t>(i + 2),
                              "line " + std::to_string(i + 2) + ": text behind the end line");
  }
  std::optional<std::string> decoded = DecodeBase64(base64);
  if (!decoded) return ReadResult::Failed(0, "the key's base64 text is damaged");
  der = std::move(*decoded);
  return ReadResult{};
}

std::string EncodePem(std::string_view label, std::string_view der) {
  const std::string base64 = EncodeBase64(der);
  std::string text = BeginLine(label) + "\n";
  for (std::size_t at = 0; at < base64.size(); at += kPemLineLength) {
    text.append(base64.substr(at, kPemLineLength));
    text.push_back('\n');
  }
  return text + EndLine(label) + "\n";
}

// --- DER ---

// Reads one element after another from a span of DER; every read checks the
// tag and that the element lies within the span, with its length in the
// shortest form.
class DerReader {
 public:
  explicit DerReader(std::string_view bytes) : bytes_(bytes) {}

  bool AtEnd() const { return bytes_.empty(); }
  bool NextTagIs(std::uint8_t tag) const {
    return !bytes_.empty() && static_cast<std::uint8_t>(bytes_[0]) == tag;
  }

  // The contents of the next element, which must carry `tag`.
  bool Read(std::uint8_t tag, std::string_view& contents) {
    if (bytes_.size() < 2 || static_cast<std::uint8_t>(bytes_[0]) != tag) return false;
    std::size_t length = static_cast<std::uint8_t>(bytes_[1]);
    std::size_t header = 2;
    if (length & 0x80u) {
      const std::size_t lengthBytes = length & 0x7Fu;
      if (lengthBytes < 1 || lengthBytes > 2 || bytes_.size() < 2 + lengthBytes) return false;
      length = 0;
      for (std::size_t i = 0; i < lengthBytes; ++i) {
        length = length << 8 | static_cast<std::uint8_t>(bytes_[2 + i]);
      }
      // DER: the long form only where the short one cannot say it, no leading zero byte.
      if (length < 0x80 || (lengthBytes == 2 && length < 0x100)) return false;
      header += lengthBytes;
    }
    if (bytes_.size() - header < length) return false;
    contents = bytes_.substr(header, length);
    bytes_ = bytes_.substr(header + length);
    return true;
  }

 private:
  std::string_view bytes_;
};

ReadResult Refused(const std::string& message) { return ReadResult::Failed(0, message); }

// The AlgorithmIdentifier { ecPublicKey, prime256v1 } of both files.
ReadResult ReadAlgorithm(DerReader& reader) {
  std::string_view algorithm;
  std::string_view algorithmOid;
  std::string_view curveOid;
  if (!reader.Read(kSequence, algorithm)) return Refused("the key's algorithm is damaged");
  DerReader fields(algorithm);
  if (!fields.Read(kObjectId, algorithmOid) || algorithmOid != kEcPublicKeyOid) {
    return Refused("not an elliptic-curve key: publisher keys are ECDSA P-256");
  }
  if (!fields.Read(kObjectId, curveOid) || curveOid != kP256Oid || !fields.AtEnd()) {
    return Refused("not a key on the curve P-256: publisher keys are ECDSA P-256");
  }
  return ReadResult{};
}

// A BIT STRING's contents holding an uncompressed point: no unused bits, 0x04, X, Y.
bool ReadPoint(std::string_view bits, P256Point& point) {
  if (bits.size() != 2 + kP256PointSize || bits[0] != '\0' || bits[1] != '\x04') return false;
  std::copy_n(bits.begin() + 2, kP256PointSize, point.begin());
  return true;
}

bool ScalarInRange(const std::array<std::uint8_t, kP256CoordinateSize>& d) {
  const bool zero = std::all_of(d.begin(), d.end(), [](std::uint8_t b) { return b == 0; });
  return !zero &&
         std::lexicographical_compare(d.begin(), d.end(), kP256Order.begin(), kP256Order.end());
}

// DER of an element with short or one- or two-byte long lengths (all ours are
// shorter than 65,536 bytes).
std::string Element(std::uint8_t tag, std::string_view contents) {
  std::string out(1, static_cast<char>(tag));
  const std::size_t n = contents.size();
  if (n < 0x80) {
    out.push_back(static_cast<char>(n));
  } else if (n < 0x100) {
    out.push_back('\x81');
    out.push_back(static_cast<char>(n));
  } else {
    out.push_back('\x82');
    out.push_back(static_cast<char>(n >> 8));
    out.push_back(static_cast<char>(n & 0xFFu));
  }
  return out.append(contents);
}

std::string AlgorithmDer() {
  return Element(kSequence, Element(kObjectId, kEcPublicKeyOid) + Element(kObjectId, kP256Oid));
}

std::string PointBitString(const P256Point& point) {
  std::string bits("\x00\x04", 2);
  bits.append(reinterpret_cast<const char*>(point.data()), point.size());
  return Element(kBitString, bits);
}

}  // namespace

ReadResult ParsePublisherPrivateKey(std::string_view text, P256PrivateKey& key) {
  std::string der;
  if (ReadResult pem = DecodePem(text, kPrivateLabel, der); !pem) return pem;
  const auto damaged = [] { return Refused("the private key's DER is damaged or not PKCS#8"); };

  DerReader file(der);
  std::string_view info;
  if (!file.Read(kSequence, info) || !file.AtEnd()) return damaged();
  DerReader fields(info);
  std::string_view version;
  if (!fields.Read(kInteger, version) || version != std::string_view("\x00", 1)) return damaged();
  if (ReadResult algorithm = ReadAlgorithm(fields); !algorithm) return algorithm;
  std::string_view privateKey;
  if (!fields.Read(kOctetString, privateKey) || !fields.AtEnd()) return damaged();

  // ECPrivateKey: version 1, the scalar, [0] the curve (optional), [1] the point.
  DerReader outer(privateKey);
  std::string_view ecKey;
  if (!outer.Read(kSequence, ecKey) || !outer.AtEnd()) return damaged();
  DerReader ec(ecKey);
  std::string_view ecVersion;
  std::string_view scalar;
  if (!ec.Read(kInteger, ecVersion) || ecVersion != std::string_view("\x01", 1) ||
      !ec.Read(kOctetString, scalar)) {
    return damaged();
  }
  if (scalar.size() != kP256CoordinateSize) return Refused("the private scalar is not 32 bytes");
  if (ec.NextTagIs(kContext0)) {
    std::string_view parameters;
    std::string_view curveOid;
    if (!ec.Read(kContext0, parameters)) return damaged();
    DerReader curve(parameters);
    if (!curve.Read(kObjectId, curveOid) || curveOid != kP256Oid || !curve.AtEnd()) {
      return Refused("not a key on the curve P-256: publisher keys are ECDSA P-256");
    }
  }
  if (ec.AtEnd()) {
    return Refused(
        "the private key does not carry its public key: make it with "
        "openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256");
  }
  std::string_view publicKey;
  std::string_view bits;
  if (!ec.Read(kContext1, publicKey) || !ec.AtEnd()) return damaged();
  DerReader publicField(publicKey);
  P256PrivateKey read;
  if (!publicField.Read(kBitString, bits) || !publicField.AtEnd() ||
      !ReadPoint(bits, read.publicPoint)) {
    return Refused("the private key's public point is damaged or not uncompressed");
  }
  std::copy_n(scalar.begin(), kP256CoordinateSize, read.scalar.begin());
  if (!ScalarInRange(read.scalar))
    return Refused("the private scalar is 0 or not below the group order");
  key = read;
  return ReadResult{};
}

ReadResult ParsePublisherPublicKey(std::string_view text, P256Point& point) {
  std::string der;
  if (ReadResult pem = DecodePem(text, kPublicLabel, der); !pem) return pem;
  const auto damaged = [] {
    return Refused("the public key's DER is damaged or not SubjectPublicKeyInfo");
  };

  DerReader file(der);
  std::string_view info;
  if (!file.Read(kSequence, info) || !file.AtEnd()) return damaged();
  DerReader fields(info);
  if (ReadResult algorithm = ReadAlgorithm(fields); !algorithm) return algorithm;
  std::string_view bits;
  if (!fields.Read(kBitString, bits) || !fields.AtEnd()) return damaged();
  P256Point read{};
  if (!ReadPoint(bits, read)) return Refused("the public point is damaged or not uncompressed");
  point = read;
  return ReadResult{};
}

std::string FormatPublisherPrivateKey(const P256PrivateKey& key) {
  const std::string ecKey = Element(
      kSequence,
      Element(kInteger, std::string_view("\x01", 1)) +
          Element(kOctetString, std::string_view(reinterpret_cast<const char*>(key.scalar.data()),
                                                 key.scalar.size())) +
          Element(kContext1, PointBitString(key.publicPoint)));
  const std::string info = Element(kSequence, Element(kInteger, std::string_view("\x00", 1)) +
                                                  AlgorithmDer() + Element(kOctetString, ecKey));
  return EncodePem(kPrivateLabel, info);
}

std::string FormatPublisherPublicKey(const P256Point& point) {
  return EncodePem(kPublicLabel, Element(kSequence, AlgorithmDer() + PointBitString(point)));
}

}  // namespace signature

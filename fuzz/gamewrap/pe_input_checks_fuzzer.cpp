// gamewrap's readers of a Windows program's headers on arbitrary bytes: the
// input checks of pack (ReadExecutableHeaders) and the certificate table
// lookup of inspect and sign (FindCertificateTable). Never a crash or a read
// outside the bytes given; a refusal always says why.
//
// Input: byte 0 chooses how much longer than the bytes given the file claims
// to be (the headers are read from the file's first bytes only), the rest is
// the file's start.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/unique_file.h"
#include "fuzz/fuzz_check.h"
#include "tools/gamewrap/input_checks.h"
#include "tools/gamewrap/wrap.h"

using fuzzcheck::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string_view head(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::uint64_t fileSize = head.size() + std::uint64_t{data[0]} * 4096;

  gamewrap::ExecutableInfo info;
  std::string reason;
  if (!gamewrap::ReadExecutableHeaders(head, fileSize, info, reason)) {
    Check(!reason.empty());
  } else {
    Check(info.architecture == gamewrap::Architecture::I686 ||
          info.architecture == gamewrap::Architecture::X86_64);
  }

  if (head.empty()) return 0;  // a memory stream needs at least one byte
  std::string bytes(head);
  UniqueFile file(fmemopen(&bytes[0], bytes.size(), "rb"));
  if (!file) return 0;
  gamewrap::CertificateTable table;
  if (gamewrap::FindCertificateTable(file.get(), static_cast<std::int64_t>(bytes.size()), table)) {
    Check(table.size > 0 && std::uint64_t{table.offset} + table.size <= bytes.size());
  }
  return 0;
}

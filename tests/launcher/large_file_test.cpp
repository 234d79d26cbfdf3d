// Launcher files past 2 GiB. Where `long` is 32 bits (both Windows builds) a
// position kept in it cannot reach the appended data; this test runs there too,
// under Wine. The file is sparse, so it costs no disk space, and it is read
// once, in about as long as reading 2 GiB from memory takes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "common/unique_file.h"
#include "launcher/payload_reader.h"
#include "payload/payload_format.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::ReadFile;
using testsupport::TempDir;

TEST(LargeLauncherFile, PayloadBehindTwoGiBIsCopiedWhole) {
  // The marker lies past 2^31, so its offset, the file's size and the payload's
  // start all need more than 31 bits.
  const std::uintmax_t markerOffset = (std::uintmax_t{1} << 31) + 4096;
  std::string game(64 * 1024, '\0');
  // Any bytes will do; the copy must deliver these.
  std::mt19937 random(1);
  for (char& c : game) c = static_cast<char>(random());

  TempDir dir;
  const std::string path = dir.Write("launcher.exe", "");
  std::error_code error;
  std::filesystem::resize_file(path, markerOffset, error);
  if (error) GTEST_SKIP() << "cannot make a sparse file of 2 GiB here: " << error.message();
  {
    UniqueFile append(std::fopen(path.c_str(), "ab"));
    ASSERT_TRUE(append);
    const std::string data = payload::MakeAppendedData("00000042", game);
    ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), append.get()), data.size());
    ASSERT_TRUE(CloseChecked(append));
  }
  ASSERT_EQ(std::filesystem::file_size(path), markerOffset + payload::kPayloadOffset + game.size());

  UniqueFile launcher(std::fopen(path.c_str(), "rb"));
  UniqueFile out(std::fopen(dir.File("game.tmp").c_str(), "wb"));
  ASSERT_TRUE(launcher && out);
  EXPECT_EQ(CopyPayload(launcher.get(), out.get(), payload::PayloadMarker()),
            PayloadCopyStatus::Ok);
  ASSERT_TRUE(CloseChecked(out));
  EXPECT_TRUE(ReadFile(dir.File("game.tmp")) == game) << "the copied game differs";
}

}  // namespace

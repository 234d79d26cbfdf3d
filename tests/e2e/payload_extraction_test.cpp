// The extraction of the game into the launcher's temporary file, called in
// this process with the file and message-box calls replaced where a test needs
// a failure: exit codes, messages, what is left behind, and the protection of
// the temporary file against other launchers' sweeps.
#include "launcher/win32/payload_extraction.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "common/win32/handle_stream.h"
#include "launcher/win32/temp_files.h"
#include "payload/payload_format.h"
#include "tests/e2e/harness/test_files.h"

namespace e2e {
namespace {

constexpr char kCannotExtract[] = "Unable to extract game executable.";

struct ShownError {
  std::string caption;
  std::string text;
  UINT style;
};

// Bytes that no two offsets of a 4096-byte chunk share, so a chunk copied
// twice or left out shows.
std::string Game() {
  std::string game;
  for (int i = 0; i < 10000; ++i) game.push_back(static_cast<char>('A' + (i * 7 + i / 26) % 26));
  return game;
}

class ExtractionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteWholeFile(launcherPath_, "launcher program image\r\n" +
                                                  payload::MakeAppendedData("12345678", Game())));
    ASSERT_TRUE(WriteWholeFile(dir_.File("tmb0001.tmp"), "left by an earlier run"));
    io_ = LauncherExtractionIo();
    io_.showFatalError = [this](const FatalError& error) {
      shown_.push_back(ShownError{error.caption, error.text, error.style});
    };
  }

  ExtractionResult Extract() {
    return ExtractPayloadFrom(launcherPath_, Directory(), payload::PayloadMarker(), io_);
  }

  std::string Directory() const { return dir_.path() + "\\"; }

  // The temporary files in the directory, by name.
  std::vector<FileEntry> TempFiles() const {
    std::vector<FileEntry> temps;
    for (const FileEntry& entry : ListDirectory(dir_.path())) {
      if (IsLauncherTempFileName(entry.name)) temps.push_back(entry);
    }
    return temps;
  }

  // What a sweep of another launcher, and then a deletion by name, can do to
  // the temporary files: true when one of them went.
  bool SweepRemovesATempFile() const {
    const std::size_t before = TempFiles().size();
    RemoveStaleTempFilesIn(Directory());
    for (const FileEntry& entry : TempFiles()) DeleteFileA(dir_.File(entry.name).c_str());
    return TempFiles().size() < before;
  }

  FreshDirectory dir_;
  const std::string launcherPath_ = dir_.File("launcher.exe");
  ExtractionIo io_;
  std::vector<ShownError> shown_;
};

// Between its creation and the game's start the file is held open, and no
// holder shares deleting: a sweep of another launcher cannot remove it, and
// so nobody else can take its name, neither while the game is copied into it
// nor afterwards.
TEST_F(ExtractionTest, TempFileCannotBeDeletedUntilTheHoldIsReleased) {
  ASSERT_TRUE(SweepRemovesATempFile());  // the stale file, gone before extraction
  bool sweptWhileCopying = true;
  const auto openTempStream = io_.openTempStream;
  io_.openTempStream = [&](HANDLE tempFile) {
    sweptWhileCopying = SweepRemovesATempFile();
    return openTempStream(tempFile);
  };

  ExtractionResult result = Extract();

  ASSERT_TRUE(result.Succeeded());
  EXPECT_TRUE(shown_.empty());
  EXPECT_FALSE(sweptWhileCopying);
  EXPECT_FALSE(SweepRemovesATempFile());
  std::string copied;
  ASSERT_EQ(ReadWholeFile(result.tempFilePath, copied), WholeFileStatus::Ok);
  EXPECT_EQ(copied, Game());
  EXPECT_EQ(GetFileAttributesA(result.tempFilePath.c_str()) & ~FILE_ATTRIBUTE_ARCHIVE,
            static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
  // Nobody may write to it either, and only the hold may stand in the way.
  const win32::UniqueFileHandle writer(CreateFileA(
      result.tempFilePath.c_str(), GENERIC_WRITE,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(writer.valid());

  result.tempFileHold.reset();
  EXPECT_TRUE(DeleteFileA(result.tempFilePath.c_str()));
}

struct FailureCase {
  const char* name;
  void (*arrange)(ExtractionIo& io);
  int exitCode;
  bool staleFileRemoved;
  bool tempFileLeft;  // the empty, visible file made for the name
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

class ExtractionFailureTest : public ExtractionTest,
                              public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ExtractionFailureTest, ShowsItsMessageAndEndsWithItsCode) {
  const FailureCase& c = GetParam();
  c.arrange(io_);

  const ExtractionResult result = Extract();

  EXPECT_EQ(result.exitCode, c.exitCode);
  EXPECT_EQ(result.tempFilePath, "");
  EXPECT_FALSE(result.tempFileHold.valid());
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].caption, "Fatal Error");
  EXPECT_EQ(shown_[0].text, kCannotExtract);
  EXPECT_EQ(shown_[0].style, static_cast<UINT>(MB_OK));
  EXPECT_EQ(PathExists(dir_.File("tmb0001.tmp")), !c.staleFileRemoved);
  std::vector<FileEntry> temps = TempFiles();
  if (!c.staleFileRemoved) temps.erase(temps.begin());
  ASSERT_EQ(temps.size(), c.tempFileLeft ? 1u : 0u);
  if (c.tempFileLeft) {
    EXPECT_EQ(temps[0].size, 0u);
    EXPECT_FALSE(temps[0].IsHidden());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ExtractionFailureTest,
    ::testing::Values(
        FailureCase{"LauncherCannotBeOpened",
                    [](ExtractionIo& io) {
                      io.openLauncher = [](const std::string&) { return UniqueFile(); };
                    },
                    3, false, false},
        FailureCase{
            "TempFileCannotBeOpenedForWriting",
            [](ExtractionIo& io) { io.openTempStream = [](HANDLE) { return UniqueFile(); }; }, 6,
            true, true},
        FailureCase{"WriteFails",
                    [](ExtractionIo& io) {
                      io.openTempStream = [](HANDLE file) {
                        return win32::StreamTakingOver(win32::DuplicateFileHandle(file), "rb");
                      };
                    },
                    7, true, false},
        // The whole game fits the stream's buffer: every write succeeds, and
        // only the close finds that the bytes cannot reach the file.
        FailureCase{"LastBytesCannotBeWrittenAtClose",
                    [](ExtractionIo& io) {
                      io.openTempStream = [](HANDLE file) {
                        return win32::StreamTakingOver(
                            win32::DuplicateFileHandle(file, FILE_WRITE_ATTRIBUTES), "wb");
                      };
                    },
                    7, true, false}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e

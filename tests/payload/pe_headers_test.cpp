#include "payload/pe_headers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/unique_file.h"
#include "tests/support/pe_image.h"
#include "tests/support/temp_dir.h"

namespace {

using payload::PeBytes;
using payload::PePart;
using payload::PeResult;
using payload::PeStatus;

// What the tool reads of a program: file header, optional header, sections.
struct Read {
  PeResult result;
  payload::PeFileHeader header;
  std::vector<payload::PeSection> sections;
};

Read ReadAll(const PeBytes& bytes) {
  Read read;
  payload::PeOptionalHeader optional;
  read.result = payload::ReadPeFileHeader(bytes, read.header);
  if (read.result.Ok()) read.result = payload::ReadPeOptionalHeader(bytes, read.header, optional);
  if (read.result.Ok()) read.result = payload::ReadPeSections(bytes, read.header, read.sections);
  return read;
}

// The same bytes read from a file on disk.
Read ReadAllFromFile(const std::string& contents) {
  testsupport::TempDir dir;
  UniqueFile file(std::fopen(dir.Write("program.exe", contents).c_str(), "rb"));
  if (!file) {
    ADD_FAILURE() << "cannot open the test file";
    return {};
  }
  return ReadAll(PeBytes(file.get(), contents.size()));
}

// The bytes of the game's resource section, as its section header places them.
std::string ResourcesOf(const Read& read, const std::string& contents) {
  for (const payload::PeSection& section : read.sections) {
    if (section.name == std::string(".rsrc\0\0\0", 8)) {
      return contents.substr(section.rawOffset, section.rawSize);
    }
  }
  return "(no .rsrc section)";
}

std::string WithNewHeaderOffset(std::uint32_t offset) {
  std::string bytes = testsupport::Game(testsupport::kMachineAmd64);
  testsupport::Put32(bytes, 0x3C, offset);
  return bytes;
}

struct DamageCase {
  const char* name;
  std::string contents;
  PeStatus status;
  PePart part;
};

void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.name; }

class PeHeaderDamage : public ::testing::TestWithParam<DamageCase> {};

// Held whole in memory or read from the file, the same bytes stop the reader
// at the same place for the same reason.
TEST_P(PeHeaderDamage, StopsAtTheSamePartFromMemoryAndFromAFile) {
  const DamageCase& c = GetParam();
  for (const Read& read :
       {ReadAll(PeBytes(c.contents, c.contents.size())), ReadAllFromFile(c.contents)}) {
    EXPECT_EQ(read.result.status, c.status);
    if (c.status != PeStatus::Ok) {
      EXPECT_EQ(read.result.part, c.part);
    }
  }
}

std::string Spoiled(std::size_t at, std::uint16_t value) {
  std::string bytes = testsupport::Game(testsupport::kMachineAmd64);
  testsupport::Put16(bytes, at, value);
  return bytes;
}

const std::size_t kFileHeader = 0x80 + 4;  // where pe_image.h puts it
const std::size_t kOptionalHeader = kFileHeader + 20;

INSTANTIATE_TEST_SUITE_P(
    Pe, PeHeaderDamage,
    ::testing::Values(
        DamageCase{"Intact", testsupport::Game(testsupport::kMachineAmd64), PeStatus::Ok,
                   PePart::MzHeader},
        DamageCase{"NotMz", "XZ" + testsupport::Game(testsupport::kMachineAmd64).substr(2),
                   PeStatus::NoMzHeader, PePart::MzHeader},
        DamageCase{"OneByte", "M", PeStatus::NoMzHeader, PePart::MzHeader},
        DamageCase{"MzHeaderCutShort", std::string("MZ\x90\0\3\0", 6), PeStatus::PastEnd,
                   PePart::MzHeader},
        DamageCase{"NewHeaderOutsideFile", WithNewHeaderOffset(0xFFFFFFFC),
                   PeStatus::NewHeaderOutsideFile, PePart::PeHeader},
        DamageCase{"NoPeSignature", WithNewHeaderOffset(0x40), PeStatus::NoPeSignature,
                   PePart::PeHeader},
        DamageCase{"NoOptionalHeader", Spoiled(kFileHeader + 16, 1), PeStatus::NoOptionalHeader,
                   PePart::OptionalHeader},
        // The file ends with the file header: the optional header is what is missing.
        DamageCase{"FileEndsWithTheFileHeader",
                   testsupport::Game(testsupport::kMachineAmd64).substr(0, kOptionalHeader),
                   PeStatus::PastEnd, PePart::OptionalHeader},
        DamageCase{"OptionalHeaderPastEnd",
                   testsupport::Game(testsupport::kMachineAmd64).substr(0, kOptionalHeader + 16),
                   PeStatus::PastEnd, PePart::OptionalHeader},
        DamageCase{"SectionTablePastEnd", Spoiled(kFileHeader + 2, 400), PeStatus::PastEnd,
                   PePart::SectionTable}),
    [](const ::testing::TestParamInfo<DamageCase>& info) { return info.param.name; });

TEST(PeHeaders, ReadsTheFieldsAndSectionsOfAProgram) {
  testsupport::PeImage image;
  image.machine = testsupport::kMachineI386;
  image.characteristics = testsupport::kExecutableImage;
  image.code = std::string(0x300, '\xCC');  // its size differs from its offset, 0x200
  image.resources = "the resource bytes";
  // Bytes behind the last section, so that a wrong size cannot pass unseen.
  const std::string contents = testsupport::Build(image) + "trailing bytes";
  const Read read = ReadAll(PeBytes(contents, contents.size()));
  ASSERT_TRUE(read.result.Ok());
  EXPECT_EQ(read.header.newHeaderOffset, 0x80u);
  EXPECT_EQ(read.header.machine, payload::kPeMachineI386);
  EXPECT_EQ(read.header.characteristics, payload::kPeExecutableImage);
  ASSERT_EQ(read.sections.size(), 2u);
  EXPECT_EQ(read.sections[0].name, std::string(".text\0\0\0", 8));
  EXPECT_EQ(contents.substr(read.sections[0].rawOffset, read.sections[0].rawSize), image.code);
  EXPECT_EQ(ResourcesOf(read, contents), image.resources);
}

// Headers placed unusually far in: from the first 64 KiB held in memory the
// reader says they lie beyond them; from the file it reads them.
TEST(PeHeaders, HeadersBeyondTheBytesAtHandAreReadFromTheFile) {
  testsupport::PeImage image;
  image.newHeaderOffset = 0x11000;
  image.resources = std::string(64, 'r');
  const std::string contents = testsupport::Build(image);

  const std::string head = contents.substr(0, 64 * 1024);
  const Read fromHead = ReadAll(PeBytes(head, contents.size()));
  EXPECT_EQ(fromHead.result.status, PeStatus::BeyondHead);
  EXPECT_EQ(fromHead.result.part, PePart::PeHeader);

  const Read fromFile = ReadAllFromFile(contents);
  ASSERT_TRUE(fromFile.result.Ok());
  EXPECT_EQ(fromFile.header.newHeaderOffset, 0x11000u);
  EXPECT_EQ(fromFile.header.machine, payload::kPeMachineAmd64);
  EXPECT_EQ(ResourcesOf(fromFile, contents), image.resources);
}

}  // namespace

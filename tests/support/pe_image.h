// Small Windows program images for the tests of the PE header reader and of
// gamewrap's input checks: just the headers they read, with fields a test can
// spoil one at a time.
#pragma once

#include <cstdint>
#include <string>

#include "payload/launcher_identity.h"

namespace testsupport {

constexpr std::uint16_t kMachineI386 = 0x014C;
constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint16_t kMachineArm64 = 0xAA64;
constexpr std::uint16_t kExecutableImage = 0x0002;
constexpr std::uint16_t kDll = 0x2000;

struct PeImage {
  std::uint16_t machine = kMachineAmd64;
  std::uint16_t characteristics = kExecutableImage | 0x0020;  // and large-address aware
  std::uint16_t optionalMagic = 0;  // 0: the one that belongs to the machine
  std::uint32_t newHeaderOffset = 0x80;
  std::uint16_t extraSectionCount = 0;            // claimed beyond the sections written
  std::string code = std::string(0x200, '\xCC');  // the .text section
  std::string resources;                          // the .rsrc section; none when empty
  std::uint32_t resourceSizeSlack = 0;            // claimed beyond the bytes written
};

inline void Put16(std::string& bytes, std::size_t at, std::uint16_t value) {
  bytes[at] = static_cast<char>(value & 0xFF);
  bytes[at + 1] = static_cast<char>(value >> 8);
}

inline void Put32(std::string& bytes, std::size_t at, std::uint32_t value) {
  Put16(bytes, at, static_cast<std::uint16_t>(value & 0xFFFF));
  Put16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

inline std::string Build(const PeImage& image) {
  const bool pe32 = image.machine == kMachineI386;
  const std::uint16_t magic = image.optionalMagic != 0 ? image.optionalMagic
                              : pe32                   ? 0x010B
                                                       : 0x020B;
  const std::uint16_t optionalSize = pe32 ? 0xE0 : 0xF0;
  const std::uint16_t sections = image.resources.empty() ? 1 : 2;
  const std::size_t fileHeader = image.newHeaderOffset + 4;
  const std::size_t sectionTable = fileHeader + 20 + optionalSize;
  const std::size_t codeAt = (sectionTable + sections * 40 + 0x1FF) & ~std::size_t{0x1FF};
  const std::size_t resourcesAt = codeAt + image.code.size();

  std::string bytes(resourcesAt, '\0');
  bytes[0] = 'M';
  bytes[1] = 'Z';
  Put32(bytes, 0x3C, image.newHeaderOffset);
  bytes.replace(image.newHeaderOffset, 4, std::string("PE\0\0", 4));
  Put16(bytes, fileHeader, image.machine);
  Put16(bytes, fileHeader + 2, static_cast<std::uint16_t>(sections + image.extraSectionCount));
  Put16(bytes, fileHeader + 16, optionalSize);
  Put16(bytes, fileHeader + 18, image.characteristics);
  Put16(bytes, fileHeader + 20, magic);

  const auto section = [&](std::size_t index, const char* name, std::size_t size, std::size_t at) {
    const std::size_t header = sectionTable + index * 40;
    bytes.replace(header, 8, std::string(name).append(8 - std::string(name).size(), '\0'));
    Put32(bytes, header + 16, static_cast<std::uint32_t>(size));
    Put32(bytes, header + 20, static_cast<std::uint32_t>(at));
  };
  section(0, ".text", image.code.size(), codeAt);
  if (!image.resources.empty()) {
    section(1, ".rsrc", image.resources.size() + image.resourceSizeSlack, resourcesAt);
  }
  bytes.replace(codeAt, image.code.size(), image.code);
  return bytes + image.resources;
}

// A launcher stub as this project builds one: its identification among other
// resource bytes.
inline std::string LauncherStub(std::uint16_t machine) {
  PeImage image;
  image.machine = machine;
  image.resources = std::string(48, '\0') + KOVA_LAUNCHER_IDENTITY + std::string(16, '\0');
  return Build(image);
}

inline std::string Game(std::uint16_t machine) {
  PeImage image;
  image.machine = machine;
  image.resources = std::string(64, 'r');
  return Build(image);
}

}  // namespace testsupport

#include "tools/gamewrap/stub_locator.h"

#include <filesystem>

#ifdef _WIN32
#include "common/win32/process_text.h"
#else
#include <system_error>
#endif

namespace gamewrap {

std::string KitStubPath(const std::string& toolPath, Architecture architecture) {
  const std::filesystem::path kit = std::filesystem::path(toolPath).parent_path().parent_path();
  return (kit / "stubs" / (std::string("launcher-") + ArchitectureName(architecture) + ".exe"))
      .string();
}

std::string OwnExecutablePath() {
#ifdef _WIN32
  return win32::GetModulePath(nullptr);
#else
  std::error_code ec;
  const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : path.string();
#endif
}

}  // namespace gamewrap

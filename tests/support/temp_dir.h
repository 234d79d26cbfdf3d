// A fresh directory for one test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace testsupport {

class TempDir {
 public:
  TempDir() {
    std::random_device entropy;
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
      path_ = base / ("kova-test-" + std::to_string(entropy()));
      if (std::filesystem::create_directory(path_)) break;
    }
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

  const std::filesystem::path& path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

  // Writes `contents` to `name` inside the directory and returns its path.
  std::string Write(const std::string& name, const std::string& contents) const {
    const std::string file = File(name);
    std::ofstream(file, std::ios::binary) << contents;
    return file;
  }

 private:
  std::filesystem::path path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace testsupport

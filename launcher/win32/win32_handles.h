// One owner type per kind of handle, each knowing its own invalid value and
// how to release it. Closing keeps the caller's GetLastError(), so a failure
// can be reported after the handles of the failed step have been released.
#pragma once

#include <windows.h>

#include <cstdio>

template <typename Traits>
class UniqueResource {
 public:
  using Value = typename Traits::Value;

  UniqueResource() = default;
  explicit UniqueResource(Value value) : value_(value) {}
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueResource() { reset(); }

  Value get() const { return value_; }
  bool valid() const { return value_ != Traits::Invalid(); }
  explicit operator bool() const { return valid(); }

  void reset(Value value = Traits::Invalid()) {
    const Value old = value_;
    value_ = value;
    if (old != Traits::Invalid()) {
      const DWORD lastError = GetLastError();
      Traits::Close(old);
      SetLastError(lastError);
    }
  }

  [[nodiscard]] Value release() {
    const Value value = value_;
    value_ = Traits::Invalid();
    return value;
  }

 private:
  Value value_ = Traits::Invalid();
};

// Process, thread, event and job handles: null when absent.
struct KernelHandleTraits {
  using Value = HANDLE;
  static Value Invalid() { return nullptr; }
  static void Close(Value handle) { CloseHandle(handle); }
};

// CreateFile handles: INVALID_HANDLE_VALUE when absent.
struct FileHandleTraits {
  using Value = HANDLE;
  static Value Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Value handle) { CloseHandle(handle); }
};

// Directory listings of FindFirstFile.
struct FindHandleTraits {
  using Value = HANDLE;
  static Value Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Value handle) { FindClose(handle); }
};

// C streams.
struct StdioFileTraits {
  using Value = std::FILE*;
  static Value Invalid() { return nullptr; }
  static void Close(Value file) { std::fclose(file); }
};

using UniqueHandle = UniqueResource<KernelHandleTraits>;
using UniqueFileHandle = UniqueResource<FileHandleTraits>;
using UniqueFindHandle = UniqueResource<FindHandleTraits>;
using UniqueStdioFile = UniqueResource<StdioFileTraits>;

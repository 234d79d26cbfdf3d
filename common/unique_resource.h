// One owner for one resource: not copyable, movable, released on every path.
// Each kind of resource gives a traits type that names its value type, its
// "absent" value and how to release it.
#pragma once

#include <utility>

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

  // Releases the value held (if any) and takes `value`.
  void reset(Value value = Traits::Invalid()) {
    const Value old = std::exchange(value_, value);
    if (old != Traits::Invalid()) Traits::Close(old);
  }

  // Hands the value to the caller, who then releases it.
  [[nodiscard]] Value release() { return std::exchange(value_, Traits::Invalid()); }

 private:
  Value value_ = Traits::Invalid();
};

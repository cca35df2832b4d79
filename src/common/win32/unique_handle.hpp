#pragma once
// One owner per operating-system resource: a move-only holder over its release function.
#include <windows.h>

#include <utility>

namespace vorlane::win32 {

template <typename T, auto Release, auto Invalid>
class unique_resource {
 public:
  unique_resource() noexcept = default;
  explicit unique_resource(T value) noexcept : value_(value) {}
  unique_resource(const unique_resource&) = delete;
  unique_resource& operator=(const unique_resource&) = delete;
  unique_resource(unique_resource&& other) noexcept : value_(other.release()) {}
  unique_resource& operator=(unique_resource&& other) noexcept {
    if (this != &other) {
      reset(other.release());
    }
    return *this;
  }
  ~unique_resource() { reset(); }

  [[nodiscard]] T get() const noexcept { return value_; }
  [[nodiscard]] bool valid() const noexcept { return value_ != T{} && value_ != Invalid(); }
  explicit operator bool() const noexcept { return valid(); }
  [[nodiscard]] T release() noexcept { return std::exchange(value_, T{}); }
  // Keeps the thread's last-error value: a handle closed on the way out of a failed call must
  // not change the error the caller is about to read.
  void reset(T value = T{}) noexcept {
    const T old = std::exchange(value_, value);
    if (old != T{} && old != Invalid()) {
      const DWORD error = ::GetLastError();
      Release(old);
      ::SetLastError(error);
    }
  }
  // For out-parameters of system calls: releases what is held and hands out the slot.
  T* put() noexcept {
    reset();
    return &value_;
  }

 private:
  T value_{};
};

namespace detail {
inline HANDLE invalid_handle() noexcept { return INVALID_HANDLE_VALUE; }
template <typename T>
constexpr T null_value() noexcept {
  return T{};
}
inline void close_handle(HANDLE h) noexcept { ::CloseHandle(h); }
inline void local_free(HLOCAL h) noexcept { ::LocalFree(h); }
inline void find_close(HANDLE h) noexcept { ::FindClose(h); }
inline void free_library(HMODULE h) noexcept { ::FreeLibrary(h); }
inline void unmap_view(void* view) noexcept { ::UnmapViewOfFile(view); }
}  // namespace detail

// Kernel handles; both null and INVALID_HANDLE_VALUE count as empty.
using unique_handle = unique_resource<HANDLE, detail::close_handle, detail::invalid_handle>;
using unique_find = unique_resource<HANDLE, detail::find_close, detail::invalid_handle>;
using unique_hlocal = unique_resource<HLOCAL, detail::local_free, detail::null_value<HLOCAL>>;
using unique_module = unique_resource<HMODULE, detail::free_library, detail::null_value<HMODULE>>;
using unique_view = unique_resource<void*, detail::unmap_view, detail::null_value<void*>>;

}  // namespace vorlane::win32

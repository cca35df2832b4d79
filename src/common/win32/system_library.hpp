#pragma once
// A DLL that is no KnownDLL, loaded from the system folder only: imported at load time, or
// loaded by name, one planted beside the program would be taken instead.
#include <windows.h>

#include <expected>
#include <string>

#include "src/common/win32/system_error.hpp"
#include "src/common/win32/unique_handle.hpp"

namespace vorlane::win32 {

class SystemLibrary {
 public:
  // The system error text when the system folder has no such library.
  [[nodiscard]] static std::expected<SystemLibrary, std::string> load(const wchar_t* name) {
    SystemLibrary library;
    library.module_.reset(::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!library.module_) {
      return std::unexpected(last_system_error_text());
    }
    return library;
  }

  // Points `function` at the export `name`; false, with the thread's last error set, without it.
  template <typename Function>
  [[nodiscard]] bool find(Function& function, const char* name) const {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module_.get(), name)));
    return function != nullptr;
  }

 private:
  unique_module module_;
};

}  // namespace vorlane::win32

#include "tests/support/program_files.hpp"

#include <windows.h>

#include <vector>

#include <gtest/gtest.h>

namespace vorlane::testing {
namespace {

const wchar_t* const key_path = L"Software\\Microsoft\\Windows\\CurrentVersion";
const wchar_t* const value_name = L"ProgramFilesDir";
const wchar_t* const backup_name = L"ProgramFilesDir.vorlane-test-original";

class CurrentVersionKey {
 public:
  CurrentVersionKey() {
    status_ = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_path, 0,
                              KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY, &key_);
  }
  ~CurrentVersionKey() {
    if (status_ == ERROR_SUCCESS) ::RegCloseKey(key_);
  }
  CurrentVersionKey(const CurrentVersionKey&) = delete;
  CurrentVersionKey& operator=(const CurrentVersionKey&) = delete;

  LSTATUS status() const { return status_; }

  std::optional<std::wstring> read(const wchar_t* name) const {
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key_, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
      return std::nullopt;
    }
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                           &size) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    return std::wstring(buffer.data());
  }

  LSTATUS write(const wchar_t* name, const std::wstring& value) const {
    return ::RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }

  void erase(const wchar_t* name) const { ::RegDeleteValueW(key_, name); }

 private:
  HKEY key_ = nullptr;
  LSTATUS status_ = ERROR_INVALID_HANDLE;
};

}  // namespace

ProgramFilesRedirect::ProgramFilesRedirect(const std::wstring& folder) {
  CurrentVersionKey key;
  if (key.status() != ERROR_SUCCESS) {
    ADD_FAILURE() << "cannot open HKLM\\" << std::string(key_path, key_path + wcslen(key_path))
                  << ": " << key.status();
    return;
  }
  original_ = key.read(backup_name);
  if (!original_) {
    original_ = key.read(value_name);
    if (!original_) {
      ADD_FAILURE() << "the prefix has no ProgramFilesDir value";
      return;
    }
    if (const LSTATUS saved = key.write(backup_name, *original_); saved != ERROR_SUCCESS) {
      ADD_FAILURE() << "cannot keep the original ProgramFilesDir: " << saved;
      return;
    }
  }
  if (const LSTATUS set = key.write(value_name, folder); set != ERROR_SUCCESS) {
    ADD_FAILURE() << "cannot set ProgramFilesDir: " << set;
    return;
  }
  active_ = true;
}

ProgramFilesRedirect::~ProgramFilesRedirect() {
  if (!original_) return;
  CurrentVersionKey key;
  if (key.status() != ERROR_SUCCESS || key.write(value_name, *original_) != ERROR_SUCCESS) {
    ADD_FAILURE() << "cannot put ProgramFilesDir back";
    return;
  }
  key.erase(backup_name);
}

}  // namespace vorlane::testing

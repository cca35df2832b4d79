// A DLL planted beside a program under the name of a system DLL: when loaded it leaves the file
// "planted-dll-loaded" beside itself, which a test can look for.
#include <windows.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  std::wstring path(MAX_PATH, L'\0');
  const DWORD length = ::GetModuleFileNameW(instance, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) return TRUE;
  path.resize(length);
  path.resize(path.find_last_of(L'\\') + 1);
  path += L"planted-dll-loaded";
  const HANDLE marker = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (marker != INVALID_HANDLE_VALUE) ::CloseHandle(marker);
  return TRUE;
}

// The probes' second program: started with a token the probe chose, it tries one access and
// reports the outcome as its exit code (0, or the system error code).
//   probe_helper open PATH ACCESS_HEX   CreateFileW(PATH, ACCESS, share all, OPEN_EXISTING)
#include <windows.h>

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && std::wstring(argv[1]) == L"open") {
    const DWORD access = static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 16));
    const HANDLE file = ::CreateFileW(argv[2], access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return static_cast<int>(::GetLastError());
    ::CloseHandle(file);
    return 0;
  }
  return 87;
}

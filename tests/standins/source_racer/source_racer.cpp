// What a program of the user could do to the file an elevated install copies from, if nothing
// stopped it: rename the file away and put another in its place, or write over it.
//   usage: source_racer FILE MILLISECONDS
// Tries both for the given time, then prints "renamed R overwritten W tries T" and exits with 0
// when neither ever succeeded, 1 when one did, 2 on a usage error.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

const char planted[] = "planted by the racer";

bool write_planted(HANDLE file) {
  DWORD written = 0;
  return ::WriteFile(file, planted, sizeof planted - 1, &written, nullptr) != 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fputs("usage: source_racer FILE MILLISECONDS\n", stderr);
    return 2;
  }
  const std::wstring file = argv[1];
  const std::wstring moved = file + L".moved";
  const ULONGLONG until = ::GetTickCount64() + std::wcstoul(argv[2], nullptr, 10);
  unsigned renamed = 0, overwritten = 0, tries = 0;
  while (::GetTickCount64() < until) {
    ++tries;
    if (::MoveFileExW(file.c_str(), moved.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      ++renamed;
      HANDLE other = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
      if (other != INVALID_HANDLE_VALUE) {
        write_planted(other);
        ::CloseHandle(other);
      }
    }
    HANDLE same = ::CreateFileW(file.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (same != INVALID_HANDLE_VALUE) {
      if (write_planted(same)) ++overwritten;
      ::CloseHandle(same);
    }
    ::Sleep(1);
  }
  std::printf("renamed %u overwritten %u tries %u\n", renamed, overwritten, tries);
  return renamed == 0 && overwritten == 0 ? 0 : 1;
}

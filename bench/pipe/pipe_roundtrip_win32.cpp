// Round-trip time of "key" requests through the real pipe against Keyward.exe --test-mode.
//   pipe_roundtrip.exe [COUNT]   (Keyward.exe is taken from the folder of this program)
// Prints the count, median, 99th percentile and mean in microseconds.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "src/common/win32/unique_handle.hpp"

namespace {

using vorlane::win32::unique_handle;

bool send_line(HANDLE pipe, const std::string& line) {
  const std::string bytes = line + "\n";
  DWORD written = 0;
  return ::WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

bool read_line(HANDLE pipe, std::string& buffer, std::string& line) {
  for (;;) {
    if (const auto end = buffer.find('\n'); end != std::string::npos) {
      line = buffer.substr(0, end);
      buffer.erase(0, end + 1);
      return true;
    }
    char chunk[4096];
    DWORD got = 0;
    if (!::ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) || got == 0) return false;
    buffer.append(chunk, got);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int count = argc > 1 ? _wtoi(argv[1]) : 500;
  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring dir(self);
  dir.resize(dir.find_last_of(L'\\'));
  const std::wstring name = L"vorlane-bench-" + std::to_wstring(::GetCurrentProcessId());
  std::wstring command = L"\"" + dir + L"\\Keyward.exe\" --test-mode --pipe " + name;

  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &si, &pi)) {
    std::fprintf(stderr, "cannot start Keyward.exe (%lu)\n", ::GetLastError());
    return 1;
  }
  const unique_handle keyward(pi.hProcess);
  const unique_handle thread(pi.hThread);

  const std::wstring full_name = L"\\\\.\\pipe\\" + name;
  unique_handle pipe;
  for (int i = 0; i < 500 && !pipe; ++i) {
    pipe.reset(::CreateFileW(full_name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             0, nullptr));
    if (!pipe) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  int status = 1;
  std::string buffer, line;
  if (pipe && send_line(pipe.get(), R"({"type":"hello","protocol":1})") &&
      read_line(pipe.get(), buffer, line) && send_line(pipe.get(), R"({"type":"enable"})") &&
      read_line(pipe.get(), buffer, line)) {
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    std::vector<double> micros;
    for (int i = 0; i < count; ++i) {
      ::QueryPerformanceCounter(&start);
      if (!send_line(pipe.get(), R"({"type":"key","code":"KeyA","down":true})") ||
          !read_line(pipe.get(), buffer, line) || line != R"({"ok":true})") {
        break;
      }
      ::QueryPerformanceCounter(&end);
      micros.push_back(1e6 * static_cast<double>(end.QuadPart - start.QuadPart) /
                       static_cast<double>(frequency.QuadPart));
    }
    if (static_cast<int>(micros.size()) == count && count > 0) {
      double sum = 0;
      for (const double m : micros) sum += m;
      std::sort(micros.begin(), micros.end());
      const auto at = [&](double q) { return micros[static_cast<std::size_t>(q * (micros.size() - 1))]; };
      std::printf("round trips: %d, median %.0f us, p99 %.0f us, mean %.0f us\n", count, at(0.5),
                  at(0.99), sum / count);
      status = 0;
    }
  }
  if (status != 0) std::fprintf(stderr, "the conversation with Keyward.exe failed\n");
  pipe.reset();
  // Keyward serves until it is ended from outside; this program started it, so it ends it.
  ::TerminateProcess(keyward.get(), 0);
  ::WaitForSingleObject(keyward.get(), 5000);
  return status;
}

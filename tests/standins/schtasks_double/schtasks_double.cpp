// A stand-in for schtasks.exe with a small task table.
//
// Settings folder: %SCHTASKS_DOUBLE_DIR%, or C:\schtasks-double when that is not set.
//   log.txt           one line per run: the command line exactly as received (UTF-8)
//   image.txt         one line per run: the path of the program that ran
//   cwd.txt           one line per run: the working folder it started in
//   pid.txt           one line per run: its process id
//   handles.txt       when present, decimal handle values; every run checks each in itself and
//                     appends "<value> invalid", "<value> valid" or "<value> valid inheritable"
//                     to handles-seen.txt
//   stdin.read        when present, the run reads its standard input to the end and appends
//                     "<file type> <bytes read>" (or "<file type> error <code>") to stdin-seen.txt
//   <verb>.sleep      when present, the run sleeps that many milliseconds before its work
//   <verb>.exit       when present (verb lower-case without "/", e.g. "create"), the run only
//   <verb>.stdout     writes these two files' bytes to its output streams and exits with the
//   <verb>.stderr     decimal code in <verb>.exit, without touching the table
//   tasks\<name>.xml  the definition given to /Create
//   tasks\<name>.pid  the id of the process /Run started (read by the tests too)
//   tasks\<name>.started  that process's creation time and image path; /End terminates the
//                     process only while its id still names that very process
//
// /Create /TN n /XML f [/F]  stores f (refuses an existing task without /F)
// /Query /TN n               exit 0 if the task exists, else 1
// /Run /TN n                 starts the definition's command with its arguments, detached
// /End /TN n                 terminates what /Run started, if it still runs
// /Delete /TN n /F           removes the task (a running instance goes on)
#include <windows.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "src/common/cmdline.hpp"
#include "src/common/text.hpp"
#include "src/common/win32/wide.hpp"

namespace {

using vorlane::option_value;
using vorlane::win32::to_utf8;
using vorlane::win32::to_wide;

std::wstring settings_dir() {
  wchar_t buffer[4096];
  const DWORD n = ::GetEnvironmentVariableW(L"SCHTASKS_DOUBLE_DIR", buffer, 4096);
  if (n > 0 && n < 4096) return std::wstring(buffer, n);
  return L"C:\\schtasks-double";
}

std::optional<std::string> read_file(const std::wstring& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string bytes;
  char chunk[4096];
  DWORD got = 0;
  while (::ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  ::CloseHandle(file);
  return bytes;
}

bool write_file(const std::wstring& path, const std::string& bytes, bool append) {
  HANDLE file = ::CreateFileW(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ,
                              nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
  return ok;
}

void write_stream(DWORD which, const std::string& bytes) {
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(which), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

int fail(const std::string& text, int code = 1) {
  write_stream(STD_ERROR_HANDLE, "ERROR: " + text + "\r\n");
  return code;
}

std::wstring task_file(const std::wstring& dir, const std::string& name, const wchar_t* ext) {
  std::wstring safe = to_wide(name);
  for (auto& c : safe) {
    if (wcschr(L"\\/:*?\"<>|", c)) c = L'_';
  }
  return dir + L"\\tasks\\" + safe + ext;
}

std::string xml_unescape(std::string s) {
  const std::pair<const char*, const char*> entities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    bool replaced = false;
    for (const auto& [entity, text] : entities) {
      if (s.compare(i, strlen(entity), entity) == 0) {
        out += text;
        i += strlen(entity);
        replaced = true;
        break;
      }
    }
    if (!replaced) out.push_back(s[i++]);
  }
  return out;
}

std::optional<std::string> element(const std::string& doc, const std::string& tag) {
  const auto open = doc.find("<" + tag + ">");
  const auto close = doc.find("</" + tag + ">");
  if (open == std::string::npos || close == std::string::npos) return std::nullopt;
  const auto start = open + tag.size() + 2;
  return xml_unescape(doc.substr(start, close - start));
}

// The definition file is UTF-16LE after a byte-order mark.
std::string definition_text(const std::string& bytes) {
  std::u16string units;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return vorlane::utf16_to_utf8(units);
}

// Decimal digits only, or absent; never throws.
std::optional<std::uint32_t> parse_number(const std::string& text) {
  std::uint32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop == text.data()) return std::nullopt;
  return value;
}

// What tells a process apart from a later one that got the same id: when it was created, and
// from which file.
std::optional<std::string> identity(HANDLE process) {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return std::nullopt;
  wchar_t image[4096];
  DWORD length = 4096;
  if (!::QueryFullProcessImageNameW(process, 0, image, &length)) return std::nullopt;
  const std::uint64_t ticks = (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
  return std::to_string(ticks) + "\n" + vorlane::ascii_lower(to_utf8(std::wstring_view(image, length)));
}

int start_task(const std::wstring& dir, const std::string& name) {
  const auto bytes = read_file(task_file(dir, name, L".xml"));
  if (!bytes) return fail("The system cannot find the file specified.");
  const std::string doc = definition_text(*bytes);
  const auto command = element(doc, "Command");
  if (!command) return fail("no command in the definition");
  const std::wstring program = to_wide(*command);
  std::wstring line = L"\"" + program + L"\" " + to_wide(element(doc, "Arguments").value_or(""));
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE,
                        DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &si, &pi)) {
    return fail("cannot start the task: " + std::to_string(::GetLastError()));
  }
  ::CloseHandle(pi.hThread);
  const auto started = identity(pi.hProcess);
  ::CloseHandle(pi.hProcess);
  write_file(task_file(dir, name, L".started"), started.value_or(""), false);
  write_file(task_file(dir, name, L".pid"), std::to_string(pi.dwProcessId), false);
  write_stream(STD_OUTPUT_HANDLE, "SUCCESS: Attempted to run the scheduled task \"" + name + "\".\r\n");
  return 0;
}

void end_task(const std::wstring& dir, const std::string& name) {
  const std::wstring pid_file = task_file(dir, name, L".pid");
  const std::wstring started_file = task_file(dir, name, L".started");
  const auto pid = parse_number(read_file(pid_file).value_or(""));
  const auto started = read_file(started_file);
  // The id alone may by now name an unrelated process (of another test, say): end it only
  // while it is still the one /Run started.
  if (pid && started && !started->empty()) {
    if (HANDLE process = ::OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE,
                                       FALSE, *pid)) {
      if (identity(process) == *started) {
        ::TerminateProcess(process, 1);
        ::WaitForSingleObject(process, 5000);
      }
      ::CloseHandle(process);
    }
  }
  ::DeleteFileW(pid_file.c_str());
  ::DeleteFileW(started_file.c_str());
}

// Which of the handle values in `listed` name an open handle in this process.
std::string check_handles(const std::string& listed) {
  std::string seen;
  std::size_t at = 0;
  while ((at = listed.find_first_of("0123456789", at)) != std::string::npos) {
    const std::size_t end = std::min(listed.find_first_not_of("0123456789", at), listed.size());
    const std::string value = listed.substr(at, end - at);
    at = end;
    const auto number = parse_number(value);
    if (!number) continue;
    DWORD flags = 0;
    const HANDLE handle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(*number));
    if (!::GetHandleInformation(handle, &flags)) {
      seen += value + " invalid\n";
    } else {
      seen += value + ((flags & HANDLE_FLAG_INHERIT) != 0 ? " valid inheritable\n" : " valid\n");
    }
  }
  return seen;
}

std::string read_standard_input() {
  const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
  const std::string type = std::to_string(::GetFileType(in));
  std::size_t total = 0;
  char chunk[4096];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(in, chunk, sizeof chunk, &got, nullptr)) {
      const DWORD error = ::GetLastError();
      // A pipe whose writer has gone ends this way rather than with 0 bytes.
      if (error == ERROR_BROKEN_PIPE) break;
      return type + " error " + std::to_string(error) + "\n";
    }
    if (got == 0) break;
    total += got;
  }
  return type + " " + std::to_string(total) + "\n";
}

bool has(const std::vector<std::string>& words, const char* name) {
  for (const auto& w : words) {
    if (w == name) return true;
  }
  return false;
}

}  // namespace

int wmain() {
  const std::wstring dir = settings_dir();
  // Checked first, while this run holds nothing of its own open that could take a value.
  if (const auto listed = read_file(dir + L"\\handles.txt")) {
    write_file(dir + L"\\handles-seen.txt", check_handles(*listed), true);
  }
  ::CreateDirectoryW(dir.c_str(), nullptr);
  ::CreateDirectoryW((dir + L"\\tasks").c_str(), nullptr);

  const wchar_t* raw = ::GetCommandLineW();
  write_file(dir + L"\\log.txt", to_utf8(raw) + "\n", true);
  wchar_t image[4096];
  const DWORD image_length = ::GetModuleFileNameW(nullptr, image, 4096);
  write_file(dir + L"\\image.txt", to_utf8(std::wstring_view(image, image_length)) + "\n", true);
  wchar_t cwd[4096];
  const DWORD cwd_length = ::GetCurrentDirectoryW(4096, cwd);
  write_file(dir + L"\\cwd.txt", to_utf8(std::wstring_view(cwd, cwd_length)) + "\n", true);
  write_file(dir + L"\\pid.txt", std::to_string(::GetCurrentProcessId()) + "\n", true);
  if (read_file(dir + L"\\stdin.read")) {
    write_file(dir + L"\\stdin-seen.txt", read_standard_input(), true);
  }

  const auto words = vorlane::split_command_line_utf8(vorlane::win32::as_u16(raw));
  if (words.size() < 2) return fail("Invalid syntax.");
  std::string verb = vorlane::ascii_lower(words[1]);
  if (!verb.empty() && verb[0] == '/') verb.erase(0, 1);
  if (const auto pause = read_file(dir + L"\\" + to_wide(verb) + L".sleep")) {
    ::Sleep(parse_number(*pause).value_or(0));
  }

  if (const auto code = read_file(dir + L"\\" + to_wide(verb) + L".exit")) {
    write_stream(STD_OUTPUT_HANDLE, read_file(dir + L"\\" + to_wide(verb) + L".stdout").value_or(""));
    write_stream(STD_ERROR_HANDLE, read_file(dir + L"\\" + to_wide(verb) + L".stderr").value_or(""));
    return static_cast<int>(parse_number(*code).value_or(1));
  }

  const auto name = option_value(words, "/TN");
  if (!name) return fail("Invalid syntax. Mandatory option '/TN' is missing.");
  const bool exists = read_file(task_file(dir, *name, L".xml")).has_value();

  if (verb == "create") {
    const auto xml = option_value(words, "/XML");
    if (!xml) return fail("Invalid syntax.");
    if (exists && !has(words, "/F")) return fail("Cannot create a file when that file already exists.");
    const auto bytes = read_file(to_wide(*xml));
    if (!bytes) return fail("The system cannot find the file specified.");
    write_file(task_file(dir, *name, L".xml"), *bytes, false);
    write_stream(STD_OUTPUT_HANDLE, "SUCCESS: The scheduled task \"" + *name + "\" has successfully been created.\r\n");
    return 0;
  }
  if (!exists) return fail("The system cannot find the file specified.");
  if (verb == "query") {
    write_stream(STD_OUTPUT_HANDLE, *name + "  Ready\r\n");
    return 0;
  }
  if (verb == "run") return start_task(dir, *name);
  if (verb == "end") {
    end_task(dir, *name);
    write_stream(STD_OUTPUT_HANDLE, "SUCCESS: The scheduled task \"" + *name + "\" has been terminated successfully.\r\n");
    return 0;
  }
  if (verb == "delete") {
    // Like the real tool, deleting leaves a running instance alone.
    ::DeleteFileW(task_file(dir, *name, L".xml").c_str());
    write_stream(STD_OUTPUT_HANDLE, "SUCCESS: The scheduled task \"" + *name + "\" was successfully deleted.\r\n");
    return 0;
  }
  return fail("Invalid argument/option - '" + words[1] + "'.");
}

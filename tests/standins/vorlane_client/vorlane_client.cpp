// vorlane_client.exe: a stand-in for the GUI program as a client of Keyward's pipe.
//
//   vorlane_client.exe --pipe NAME [--connect-timeout-ms N] [--reply-timeout-ms N]
//                      [--delay-read-ms N] [--script-file FILE | STEP...]
//
// NAME gets the "\\.\pipe\" prefix unless it already has it. The steps come from the
// arguments after the options, else from FILE (one per line), else from standard input.
// A step is one of:
//   TEXT              send TEXT plus a line feed, then read one reply line
//   @send TEXT        send TEXT plus a line feed, read nothing
//   @raw HEX          send the bytes written as hex pairs (no line feed added), read nothing
//   @read             read one reply line
//   @sleep MS         wait
//   @expect-close     read until the helper closes the connection (lines read are printed)
// Output, one line each ("\n" endings): ">> TEXT" for what was sent, "<< LINE" for what
// was received, "<< [closed]" when the helper closed the connection, "!! ..." for failures.
// Exit codes: 0 every step done; 2 usage; 3 the pipe could not be opened; 4 the connection
// closed while a reply was expected; 5 no reply (or no close) within the reply timeout.
// --delay-read-ms waits that long before each read; the timeouts default to 10000 ms.
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "src/common/cmdline.hpp"
#include "src/common/win32/unique_handle.hpp"
#include "src/common/win32/wide.hpp"

namespace {

using namespace std::chrono;
using vorlane::win32::unique_handle;

enum Exit { ok = 0, usage = 2, cannot_open = 3, closed_early = 4, timed_out = 5 };

void print(const std::string& line) {
  const std::string bytes = line + "\n";
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
              &written, nullptr);
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

std::string read_standard_input() {
  std::string text;
  char chunk[4096];
  DWORD got = 0;
  while (::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), chunk, sizeof chunk, &got, nullptr) && got > 0) {
    text.append(chunk, got);
  }
  return text;
}

class Connection {
 public:
  explicit Connection(unique_handle pipe) : pipe_(std::move(pipe)) {}

  bool send(const std::string& bytes) {
    DWORD written = 0;
    return ::WriteFile(pipe_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
  }
  // A line, or absent when the connection closed (closed() tells) or the time ran out.
  std::optional<std::string> read_line(milliseconds timeout) {
    const auto deadline = steady_clock::now() + timeout;
    for (;;) {
      if (const auto end = buffer_.find('\n'); end != std::string::npos) {
        std::string line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        return line;
      }
      DWORD available = 0;
      if (!::PeekNamedPipe(pipe_.get(), nullptr, 0, nullptr, &available, nullptr)) {
        closed_ = true;
        return std::nullopt;
      }
      if (available == 0) {
        if (steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(milliseconds(5));
        continue;
      }
      std::string chunk(available, '\0');
      DWORD got = 0;
      if (!::ReadFile(pipe_.get(), chunk.data(), available, &got, nullptr) || got == 0) {
        closed_ = true;
        return std::nullopt;
      }
      buffer_.append(chunk, 0, got);
    }
  }
  bool closed() const { return closed_; }

 private:
  unique_handle pipe_;
  std::string buffer_;
  bool closed_ = false;
};

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Absent for an odd count or a character that is no hex digit.
std::optional<std::string> parse_hex(const std::string& hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = hex_digit(hex[i]), low = hex_digit(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<char>(high * 16 + low));
  }
  return bytes;
}

}  // namespace

int wmain() {
  const auto words = vorlane::split_command_line_utf8(vorlane::win32::as_u16(::GetCommandLineW()));
  std::optional<std::string> pipe_name;
  std::optional<std::string> script_file;
  milliseconds connect_timeout{10000}, reply_timeout{10000}, delay_read{0};
  std::vector<std::string> steps;
  try {
    for (std::size_t i = 1; i < words.size(); ++i) {
      const std::string& word = words[i];
      const bool has_value = i + 1 < words.size();
      if (word == "--pipe" && has_value) {
        pipe_name = words[++i];
      } else if (word == "--script-file" && has_value) {
        script_file = words[++i];
      } else if (word == "--connect-timeout-ms" && has_value) {
        connect_timeout = milliseconds(std::stoi(words[++i]));
      } else if (word == "--reply-timeout-ms" && has_value) {
        reply_timeout = milliseconds(std::stoi(words[++i]));
      } else if (word == "--delay-read-ms" && has_value) {
        delay_read = milliseconds(std::stoi(words[++i]));
      } else {
        steps.push_back(word);
      }
    }
  } catch (const std::exception&) {
    pipe_name.reset();
  }
  if (!pipe_name) {
    print("!! usage: vorlane_client.exe --pipe NAME [--delay-read-ms N] [--script-file F | STEP...]");
    return usage;
  }
  if (steps.empty()) {
    if (script_file) {
      std::ifstream in(std::filesystem::path(vorlane::win32::to_wide(*script_file)), std::ios::binary);
      std::stringstream text;
      text << in.rdbuf();
      steps = split_lines(text.str());
    } else {
      steps = split_lines(read_standard_input());
    }
  }

  const std::string prefix = "\\\\.\\pipe\\";
  const std::wstring name = vorlane::win32::to_wide(pipe_name->starts_with(prefix) ? *pipe_name : prefix + *pipe_name);
  const auto connect_deadline = steady_clock::now() + connect_timeout;
  unique_handle pipe;
  for (;;) {
    pipe.reset(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (pipe) break;
    const DWORD code = ::GetLastError();
    if ((code != ERROR_FILE_NOT_FOUND && code != ERROR_PIPE_BUSY) || steady_clock::now() >= connect_deadline) {
      print("!! cannot open pipe (Win32 " + std::to_string(code) + ")");
      return cannot_open;
    }
    std::this_thread::sleep_for(milliseconds(20));
  }
  Connection connection(std::move(pipe));

  auto read_reply = [&]() -> int {
    std::this_thread::sleep_for(delay_read);
    if (const auto line = connection.read_line(reply_timeout)) {
      print("<< " + *line);
      return ok;
    }
    if (connection.closed()) {
      print("<< [closed]");
      return closed_early;
    }
    print("!! timed out");
    return timed_out;
  };

  for (const std::string& step : steps) {
    if (step.starts_with("@sleep ")) {
      std::this_thread::sleep_for(milliseconds(std::atoi(step.c_str() + 7)));
    } else if (step == "@read") {
      if (const int code = read_reply(); code != ok) return code;
    } else if (step == "@expect-close") {
      for (;;) {
        const int code = read_reply();
        if (code == closed_early) break;
        if (code != ok) return code;
      }
    } else if (step.starts_with("@raw ")) {
      const auto bytes = parse_hex(step.substr(5));
      if (!bytes) {
        print("!! bad hex: " + step);
        return usage;
      }
      print(">> [raw " + std::to_string(bytes->size()) + " bytes]");
      connection.send(*bytes);
    } else {
      const bool send_only = step.starts_with("@send ");
      const std::string text = send_only ? step.substr(6) : step;
      print(">> " + text);
      if (!connection.send(text + "\n")) {
        print("<< [closed]");
        return closed_early;
      }
      if (!send_only) {
        if (const int code = read_reply(); code != ok) return code;
      }
    }
  }
  return ok;
}

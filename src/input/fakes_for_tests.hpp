#pragma once
// Test doubles for the injection seams: a sink that records every call and can be told to
// accept fewer records, and a probe that plays a chosen host.
#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "src/input/failure_diagnosis.hpp"
#include "src/input/synthesis.hpp"

namespace vorlane::input {

inline std::ostream& operator<<(std::ostream& out, const InputRecord& r) {
  if (r.type == InputType::keyboard) {
    return out << "key{scan=0x" << std::hex << r.scan << " flags=0x" << r.flags << std::dec
               << " vk=" << r.vk << "}";
  }
  return out << "mouse{" << r.dx << "," << r.dy << " data=" << static_cast<std::int32_t>(r.mouse_data)
             << " flags=0x" << std::hex << r.flags << std::dec << "}";
}

class RecordingSink final : public InputSink {
 public:
  struct ShortCount {
    std::uint32_t sent;
    std::uint32_t error;
  };

  Outcome send(std::span<const InputRecord> records) override {
    calls.emplace_back(records.begin(), records.end());
    if (const auto it = short_calls.find(calls.size() - 1); it != short_calls.end()) {
      return {it->second.sent, it->second.error};
    }
    return {static_cast<std::uint32_t>(records.size()), 0};
  }

  std::vector<InputRecord> all_records() const {
    std::vector<InputRecord> all;
    for (const auto& call : calls) {
      all.insert(all.end(), call.begin(), call.end());
    }
    return all;
  }

  std::vector<std::vector<InputRecord>> calls;
  std::map<std::size_t, ShortCount> short_calls;  // call index -> what Windows answers
};

class FakeProbe final : public InjectionProbe {
 public:
  std::optional<std::string> input_desktop_name() override {
    ++desktop_queries;
    return desktop;
  }
  std::optional<std::uint32_t> foreground_process_id() override {
    ++foreground_queries;
    return foreground_pid;
  }
  system::Elevation pid_elevation(std::uint32_t pid) override {
    const auto it = elevation_of.find(pid);
    return it == elevation_of.end() ? system::Elevation::unknown : it->second;
  }
  std::optional<std::string> process_image_path(std::uint32_t pid,
                                                std::uint32_t capacity) override {
    last_path_capacity = capacity;
    const auto it = path_of.find(pid);
    return it == path_of.end() ? std::nullopt : std::optional<std::string>(it->second);
  }

  // A host whose input desktop is the normal one and whose foreground is not elevated.
  std::optional<std::string> desktop = "Default";
  std::optional<std::uint32_t> foreground_pid;
  std::map<std::uint32_t, system::Elevation> elevation_of;
  std::map<std::uint32_t, std::string> path_of;

  int desktop_queries = 0;
  int foreground_queries = 0;
  std::uint32_t last_path_capacity = 0;
};

}  // namespace vorlane::input

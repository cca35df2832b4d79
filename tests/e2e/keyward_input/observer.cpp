#include "tests/e2e/keyward_input/observer.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

namespace vorlane::testing {
namespace {

using namespace std::chrono_literals;

// Generous for a loaded two-core machine running Wine.
constexpr auto ready_deadline = 30s;
constexpr auto stop_deadline = 30s;

std::optional<ObservedEvent> parse(const std::string& line) {
  ObservedEvent event;
  unsigned message = 0;
  unsigned long a = 0, b = 0, c = 0, d = 0;
  long x = 0, y = 0;
  if (std::sscanf(line.c_str(), "key msg=0x%x vk=0x%lx scan=0x%lx flags=0x%lx", &message, &a, &b,
                  &c) == 4) {
    return key_event(message, a, b, c);
  }
  if (std::sscanf(line.c_str(), "mouse msg=0x%x x=%ld y=%ld data=0x%lx flags=0x%lx", &message, &x,
                  &y, &d, &c) == 5) {
    return mouse_event(message, x, y, d, c);
  }
  return std::nullopt;
}

}  // namespace

ObservedEvent key_event(unsigned message, std::uint32_t vk, std::uint32_t scan, std::uint32_t flags) {
  ObservedEvent e;
  e.kind = ObservedEvent::Kind::key;
  e.message = message;
  e.vk = vk;
  e.scan = scan;
  e.flags = flags;
  return e;
}

ObservedEvent mouse_event(unsigned message, long x, long y, std::uint32_t data, std::uint32_t flags) {
  ObservedEvent e;
  e.kind = ObservedEvent::Kind::mouse;
  e.message = message;
  e.x = x;
  e.y = y;
  e.data = data;
  e.flags = flags;
  return e;
}

std::ostream& operator<<(std::ostream& out, const ObservedEvent& e) {
  char line[128];
  if (e.kind == ObservedEvent::Kind::key) {
    std::snprintf(line, sizeof line, "key msg=0x%04X vk=0x%02X scan=0x%04X flags=0x%02X", e.message,
                  e.vk, e.scan, e.flags);
  } else {
    std::snprintf(line, sizeof line, "mouse msg=0x%04X x=%ld y=%ld data=0x%08X flags=0x%02X",
                  e.message, e.x, e.y, e.data, e.flags);
  }
  return out << line;
}

std::optional<Observer> Observer::start() {
  Observer observer;
  std::wostringstream name;
  name << L"Local\\vorlane-input-observer-stop-" << ::GetCurrentProcessId() << L"-"
       << ::GetTickCount64();
  observer.stop_event_.reset(::CreateEventW(nullptr, TRUE, FALSE, name.str().c_str()));
  if (!observer.stop_event_) {
    return std::nullopt;
  }
  observer.child_ = Child::start(bin_path(L"input_observer.exe"), {L"--stop-event", name.str()});
  const auto deadline = std::chrono::steady_clock::now() + ready_deadline;
  while (std::chrono::steady_clock::now() < deadline) {
    if (observer.child_.out().starts_with("ready\n")) {
      return observer;
    }
    if (!observer.child_.running()) {
      return std::nullopt;
    }
    std::this_thread::sleep_for(20ms);
  }
  return std::nullopt;
}

std::vector<ObservedEvent> Observer::events() const {
  std::string out = child_.out();
  out.erase(out.find_last_of('\n') + 1);  // a line still being written is not an event yet
  std::vector<ObservedEvent> events;
  for (const std::string& line : lines(out)) {
    if (auto event = parse(line)) {
      events.push_back(*event);
    }
  }
  return events;
}

bool Observer::wait_for_event(const ObservedEvent& event, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const std::vector<ObservedEvent> seen = events();
    if (std::ranges::find(seen, event) != seen.end()) {
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(20ms);
  }
}

std::vector<ObservedEvent> Observer::stop() {
  ::SetEvent(stop_event_.get());
  child_.wait(std::chrono::duration_cast<std::chrono::milliseconds>(stop_deadline));
  return events();
}

}  // namespace vorlane::testing

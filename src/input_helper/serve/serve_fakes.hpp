#pragma once
// Fakes of the serve loop's interfaces for the unit tests. Every fake notes what was done to it
// in one shared journal, so tests can check the order of the steps across them.
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "src/input_helper/pipe/memory_pipe.hpp"
#include "src/input_helper/serve/serve.hpp"

namespace vorlane::serve {

using Journal = std::vector<std::string>;

struct ClientBehaviour {
  std::string image_path;
  int idle_checks_alive = 1000;  // liveness checks answered "running" before it ends
};

class FakeClient final : public ClientProcess {
 public:
  FakeClient(ClientBehaviour behaviour, Journal& journal) : behaviour_(std::move(behaviour)), journal_(journal) {}
  ~FakeClient() override { journal_.push_back("close client"); }
  std::optional<std::string> image_path(std::uint32_t capacity) override {
    journal_.push_back("image path " + std::to_string(capacity));
    if (behaviour_.image_path.empty()) return std::nullopt;
    return behaviour_.image_path;
  }
  bool running() override {
    journal_.push_back("liveness");
    return behaviour_.idle_checks_alive-- > 0;
  }

 private:
  ClientBehaviour behaviour_;
  Journal& journal_;
};

class FakeQueries final : public SystemQueries {
 public:
  explicit FakeQueries(Journal& journal) : journal_(journal) {}
  std::optional<std::string> sid = "S-1-5-21-0-0-0-1000";
  std::uint32_t pid = 42;
  std::map<std::uint32_t, std::uint32_t> sessions{{42, 1}};
  std::optional<std::string> desktop = "Default";
  std::map<std::uint32_t, ClientBehaviour> clients;

  std::optional<std::string> current_user_sid() override { return sid; }
  std::uint32_t own_pid() override { return pid; }
  std::optional<std::uint32_t> session_of_process(std::uint32_t p) override {
    const auto it = sessions.find(p);
    if (it == sessions.end()) return std::nullopt;
    return it->second;
  }
  std::optional<std::string> input_desktop_name() override { return desktop; }
  std::unique_ptr<ClientProcess> open_client(std::uint32_t p) override {
    journal_.push_back("open client " + std::to_string(p));
    const auto it = clients.find(p);
    if (it == clients.end()) return nullptr;
    return std::make_unique<FakeClient>(it->second, journal_);
  }

 private:
  Journal& journal_;
};

class FakeController final : public InputController {
 public:
  explicit FakeController(Journal& journal) : journal_(journal) {}
  ~FakeController() override { journal_.push_back("destroy controller"); }
  std::optional<std::string> enable_error, disable_error, execute_error;

  bool is_available() const override { return true; }
  std::expected<void, std::string> set_enabled(bool enabled) override {
    journal_.push_back(enabled ? "set_enabled(true)" : "set_enabled(false)");
    const auto& error = enabled ? enable_error : disable_error;
    if (error) return std::unexpected(*error);
    return {};
  }
  std::expected<void, std::string> execute(const JsonValue& request) override {
    journal_.push_back("execute " + request.dump());
    if (execute_error) return std::unexpected(*execute_error);
    return {};
  }
  void release_all() override { journal_.push_back("release_all"); }

 private:
  Journal& journal_;
};

// How the client takes the last reply once the helper waits for it to be read.
struct ReplyReading {
  enum class How { reads, closes, never, untold };  // untold: the pipe cannot say
  How how = How::reads;
  std::chrono::milliseconds after{0};  // reads: this long after the helper starts waiting
};

// One scripted connection: what the client sends, and its process id as the pipe reports it.
struct ScriptedConnection {
  std::optional<std::uint32_t> pid;
  std::vector<std::string> sends;  // each one write by the client
  bool closes = true;              // the client closes its end after its last write
  bool left_early = false;         // connected and gone before the wait returned
  ReplyReading reading{};
};

class FakeEndpoint final : public PipeEndpoint {
 public:
  static constexpr std::uint32_t quota = 65536;

  FakeEndpoint(Journal& journal, Clock& clock) : journal_(journal), clock_(clock) {}
  std::deque<std::optional<std::string>> create_errors;  // one per attempt; empty: success
  std::deque<ScriptedConnection> connections;
  std::vector<std::string> written;  // what each served connection got back
  std::vector<std::string> created;  // names, one per successful creation
  // Per connection whose last reply was waited for: how long until the disconnect, and whether
  // the client had read everything by then (else the disconnect discarded the rest).
  std::vector<std::chrono::milliseconds> waited;
  std::vector<bool> read_before_disconnect;

  std::expected<void, std::string> create_instance(const std::string& name, const std::string&,
                                                   bool test_mode) override {
    journal_.push_back(std::string("create") + (test_mode ? " test" : ""));
    if (!create_errors.empty()) {
      auto error = create_errors.front();
      create_errors.pop_front();
      if (error) return std::unexpected(*error);
    }
    created.push_back(name);
    return {};
  }
  WaitOutcome wait_for_client() override {
    if (current_) written.push_back(current_pipe_.written);
    current_.reset();
    waiting_since_.reset();
    current_pipe_ = pipe::MemoryPipe{};
    if (connections.empty()) return WaitFailed{"No more clients. (0x800700E8)"};
    ScriptedConnection next = std::move(connections.front());
    connections.pop_front();
    if (next.left_early) {
      journal_.push_back("client left early");
      return ClientLeftEarly{};
    }
    for (auto& bytes : next.sends) current_pipe_.deliver(bytes);
    if (next.closes) current_pipe_.close_client();
    current_ = std::move(next);
    journal_.push_back("connected");
    return ClientConnected{};
  }
  std::optional<std::uint32_t> client_pid() override { return current_ ? current_->pid : std::nullopt; }
  pipe::PipeIo& io() override { return current_pipe_; }
  std::optional<OutboundState> outbound() override {
    if (!waiting_since_) {
      journal_.push_back("await reply read");
      waiting_since_ = clock_.now();
    }
    const ReplyReading reading = current_ ? current_->reading : ReplyReading{};
    switch (reading.how) {
      case ReplyReading::How::untold: return std::nullopt;
      case ReplyReading::How::closes: return OutboundState{false, quota, quota};
      case ReplyReading::How::never: return OutboundState{true, quota, quota - unread_bytes};
      case ReplyReading::How::reads: break;
    }
    return OutboundState{true, quota, has_read() ? quota : quota - unread_bytes};
  }
  void disconnect() override {
    if (waiting_since_) {
      waited.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(clock_.now() - *waiting_since_));
      read_before_disconnect.push_back(has_read());
      waiting_since_.reset();
    }
    journal_.push_back("disconnect");
  }

 private:
  static constexpr std::uint32_t unread_bytes = 12;

  bool has_read() const {
    return current_ && waiting_since_ && current_->reading.how == ReplyReading::How::reads &&
           clock_.now() - *waiting_since_ >= current_->reading.after;
  }

  Journal& journal_;
  Clock& clock_;
  std::optional<Clock::time_point> waiting_since_;
  std::optional<ScriptedConnection> current_;
  pipe::MemoryPipe current_pipe_;
};

class FakeLog final : public LogSink {
 public:
  explicit FakeLog(Journal& journal) : journal_(journal) {}
  std::vector<std::string> lines;
  void write_line(std::string_view line) override {
    lines.emplace_back(line);
    journal_.push_back("log " + std::string(line));
  }

 private:
  Journal& journal_;
};

}  // namespace vorlane::serve

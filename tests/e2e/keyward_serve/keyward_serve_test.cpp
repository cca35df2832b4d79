// Keyward.exe --serve under Wine: the default pipe name, the setup record, admission and security.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include "src/common/version.hpp"
#include "src/setup/record.hpp"
#include "src/system/queries_win32.hpp"
#include "tests/e2e/keyward_serve/keyward_e2e.hpp"
#include "tests/support/program_files.hpp"

namespace vorlane::testing {
namespace {

// The e2e helpers bring Child, RunResult, TempDir, widen and the chrono literals along.

// --serve with a setup record in a throwaway Program Files folder, the system's for the run; the
// ProgramFiles and ProgramW6432 variables name another folder, which must not count.
class Serve : public ::testing::Test {
 protected:
  TempDir program_files, decoy, local, app, other;
  testing::ProgramFilesRedirect redirect{program_files.path()};
  std::string sid = system::current_user_sid().value_or("");
  std::wstring pipe;
  std::wstring client_path = app / L"Vorlane.exe";
  Child keyward;

  void SetUp() override {
    ASSERT_FALSE(sid.empty());
    ASSERT_TRUE(redirect.active());
    DWORD session = 0;
    ASSERT_TRUE(::ProcessIdToSessionId(::GetCurrentProcessId(), &session));
    pipe = widen("vorlane-input-" + sid + "-" + std::to_string(session));
    ASSERT_TRUE(testing::copy_file(testing::bin_path(L"vorlane_client.exe"), client_path));
  }
  void write_record(const std::string& gui_path, const TempDir* under = nullptr) {
    const auto record = setup::serialize_record({.version = std::string(version_text),
                                                  .user_sid = sid,
                                                  .gui_path = gui_path,
                                                  .task_name = "Keyward (" + sid + ")",
                                                  .installed_at = 1700000000});
    ASSERT_TRUE(record) << record.error();
    write_record_bytes(*record, under);
  }
  void write_record_bytes(const std::string& bytes, const TempDir* under = nullptr) {
    const std::wstring users = (under ? *under : program_files) / L"Vorlane\\InputHelper\\users";
    testing::create_directories(users);
    ASSERT_TRUE(testing::write_file(users + L"\\" + widen(sid) + L".json", bytes));
  }
  testing::EnvChanges env() const {
    return {{L"ProgramFiles", decoy.path()}, {L"ProgramW6432", decoy.path()},
            {L"LOCALAPPDATA", local.path()}};
  }
  void start() { keyward = Child::start(testing::bin_path(L"Keyward.exe"), {L"--serve"}, env()); }
};

std::string ascii_upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

struct RecordedPathCase {
  const char* name;
  std::string (*spell)(const std::string& path);
};
void PrintTo(const RecordedPathCase& c, std::ostream* os) { *os << c.name; }

class ServeRecordedPath : public Serve, public ::testing::WithParamInterface<RecordedPathCase> {};

TEST_P(ServeRecordedPath, AdmitsTheRecordedProgramHoweverThePathIsSpelled) {
  write_record(GetParam().spell(testing::narrow(client_path)));
  start();
  const RunResult result = client(pipe, {widen(hello), LR"({"type":"enable"})", LR"({"type":"status"})"},
                                  client_path);
  EXPECT_EQ(result.exit_code, 0u) << result.out;
  EXPECT_NE(result.out.find("<< {\"control\":true,"), std::string::npos) << result.out;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ServeRecordedPath,
    ::testing::Values(
        RecordedPathCase{"as_is", [](const std::string& p) { return p; }},
        RecordedPathCase{"ascii_case", [](const std::string& p) { return ascii_upper(p); }},
        RecordedPathCase{"forward_slashes",
                         [](const std::string& p) {
                           std::string s = p;
                           std::replace(s.begin(), s.end(), '\\', '/');
                           return s;
                         }},
        RecordedPathCase{"trailing_separator", [](const std::string& p) { return p + "\\"; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Serve, CopyInAnotherFolderIsDroppedWithoutAReply) {
  const std::wstring copy = other / L"Vorlane.exe";
  write_record(testing::narrow(client_path));
  // Where the variables point, a record names the copy: only the system's folder counts.
  write_record(testing::narrow(copy), &decoy);
  start();
  ASSERT_TRUE(testing::copy_file(testing::bin_path(L"vorlane_client.exe"), copy));
  const RunResult refused = client(pipe, {widen(hello)}, copy);
  EXPECT_EQ(refused.exit_code, 4u) << refused.out;
  EXPECT_EQ(refused.out, ">> " + hello + "\n<< [closed]\n");
  const RunResult admitted = client(pipe, {widen(hello)}, client_path);
  EXPECT_EQ(admitted.exit_code, 0u) << admitted.out;
  EXPECT_EQ(keyward.err(), "");
}

// One allowed entry of a DACL read back from the pipe.
struct AllowedAce {
  std::string sid;
  ACCESS_MASK mask = 0;
};

std::vector<AllowedAce> allowed_aces(PACL dacl) {
  std::vector<AllowedAce> aces;
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    void* raw = nullptr;
    if (!::GetAce(dacl, i, &raw)) break;
    const auto* header = static_cast<const ACE_HEADER*>(raw);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
      aces.push_back({"not an allowed entry", 0});
      continue;
    }
    const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(raw);
    LPWSTR sid_text = nullptr;
    ::ConvertSidToStringSidW(const_cast<DWORD*>(&ace->SidStart), &sid_text);
    const win32::unique_hlocal sid_owner(sid_text);
    aces.push_back({sid_text ? testing::narrow(sid_text) : "?", ace->Mask});
  }
  return aces;
}

TEST_F(Serve, PipeCarriesTheRestrictedDescriptorAndServesAReadWriteClient) {
  // This test program is the recorded client, so the helper keeps the connection open
  // (awaiting the hello) while the pipe is inspected from this end, then serves it.
  wchar_t own_path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, own_path, MAX_PATH);
  write_record(testing::narrow(own_path));
  start();
  const std::wstring full_name = L"\\\\.\\pipe\\" + pipe;
  win32::unique_handle end;
  // What the client guide tells Vorlane.exe to ask for; the user's entry grants no more.
  for (int i = 0; i < 500 && !end; ++i) {
    end.reset(::CreateFileW(full_name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr));
    if (!end) std::this_thread::sleep_for(20ms);
  }
  ASSERT_TRUE(end);
  DWORD flags = 0, out_size = 0, in_size = 0, max_instances = 0;
  ASSERT_TRUE(::GetNamedPipeInfo(end.get(), &flags, &out_size, &in_size, &max_instances));
  EXPECT_EQ(flags & PIPE_TYPE_MESSAGE, 0u);
  EXPECT_EQ(max_instances, 1u);
  EXPECT_EQ(out_size, 65536u);
  EXPECT_EQ(in_size, 65536u);

  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(::GetSecurityInfo(end.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              &dacl, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  const win32::unique_hlocal descriptor_owner(descriptor);
  const std::vector<AllowedAce> aces = allowed_aces(dacl);
  ASSERT_EQ(aces.size(), 2u);
  EXPECT_EQ(aces[0].sid, "S-1-5-18");
  // Generic all as written; Windows may store it mapped to the pipe's full rights.
  EXPECT_TRUE(aces[0].mask == GENERIC_ALL || aces[0].mask == FILE_ALL_ACCESS) << std::hex << aces[0].mask;
  EXPECT_EQ(aces[1].sid, sid);
  EXPECT_EQ(aces[1].mask, static_cast<ACCESS_MASK>(FILE_GENERIC_READ | FILE_GENERIC_WRITE))
      << std::hex << aces[1].mask;
  EXPECT_EQ(aces[1].mask & (WRITE_DAC | WRITE_OWNER | DELETE), 0u);

  // Wine keeps no mandatory label on pipes and reads it back empty; where the system keeps
  // it, it must be the medium label that bars lower levels from writing and reading.
  PSECURITY_DESCRIPTOR labelled = nullptr;
  ASSERT_EQ(::GetSecurityInfo(end.get(), SE_KERNEL_OBJECT, LABEL_SECURITY_INFORMATION, nullptr, nullptr,
                              nullptr, nullptr, &labelled),
            static_cast<DWORD>(ERROR_SUCCESS));
  const win32::unique_hlocal labelled_owner(labelled);
  LPWSTR label = nullptr;
  ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorW(labelled, SDDL_REVISION_1,
                                                                     LABEL_SECURITY_INFORMATION, &label, nullptr));
  const win32::unique_hlocal label_owner(label);
  if (const std::string label_text = testing::narrow(label); !label_text.empty()) {
    EXPECT_EQ(label_text, "S:(ML;;NWNR;;;ME)");
  }

  // The read-write client is served as before.
  const std::string request = hello + "\n";
  DWORD written = 0;
  ASSERT_TRUE(::WriteFile(end.get(), request.data(), static_cast<DWORD>(request.size()), &written, nullptr));
  std::string reply;
  char byte = 0;
  DWORD got = 0;
  while (reply.find('\n') == std::string::npos && ::ReadFile(end.get(), &byte, 1, &got, nullptr) && got == 1) {
    reply.push_back(byte);
  }
  EXPECT_TRUE(reply.starts_with("{\"desktop\":") && reply.ends_with("}\n")) << reply;
  EXPECT_NE(reply.find("\"ok\":true,\"protocol\":1,\"session\":"), std::string::npos) << reply;
  EXPECT_EQ(keyward.err(), "");
}

struct BadRecordCase {
  const char* name;
  std::optional<std::string> bytes;  // absent: no record file
};
void PrintTo(const BadRecordCase& c, std::ostream* os) { *os << c.name; }

class ServeWithoutRecord : public Serve, public ::testing::WithParamInterface<BadRecordCase> {};

TEST_P(ServeWithoutRecord, EndsWithExitCodeOneAndTheRunOutcome) {
  if (GetParam().bytes) write_record_bytes(*GetParam().bytes);
  const RunResult result = testing::run(testing::bin_path(L"Keyward.exe"), {L"--serve"}, env(), 60s);
  EXPECT_EQ(result.exit_code, 1u);
  const Outcome outcome = parse_outcome(testing::read_file(local / L"Vorlane\\input-helper-setup.json"));
  EXPECT_EQ(outcome.ok, "false");
  EXPECT_EQ(outcome.action, "serve");
  EXPECT_EQ(outcome.message, "未找到管理员控制安装记录，请重新启用");
}

INSTANTIATE_TEST_SUITE_P(
    Table, ServeWithoutRecord,
    ::testing::Values(BadRecordCase{"missing", std::nullopt}, BadRecordCase{"not_json", "{"},
                      BadRecordCase{"without_installed_at",
                                    R"({"schema":1,"protocol":1,"version":"0.1.0","userSid":"S",)"
                                    R"("guiPath":"C:\\V\\Vorlane.exe","taskName":"T"})"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vorlane::testing

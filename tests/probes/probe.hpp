#pragma once
// Shared by the probes: programs that each state one expectation about what Windows itself
// does with the shipped programs, where Wine cannot show it. A probe first checks that the
// platform has the behaviour at all; where it does not, the probe is skipped under Wine with
// Wine's reason and fails on Windows (there the absence is the finding), so it never passes
// by accident.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "src/common/win32/unique_handle.hpp"

namespace vorlane::testing {

// The Wine version when this runs under Wine (ntdll exports wine_get_version), else absent.
std::optional<std::string> wine_version();

// Skips (Wine) or fails (Windows) the probe when `platform_has_it` is false; `what` says what
// the platform lacks.
#define VORLANE_PROBE_REQUIRE(platform_has_it, what)                                       \
  if (!(platform_has_it)) {                                                                \
    if (const auto wine_ = ::vorlane::testing::wine_version()) {                           \
      GTEST_SKIP() << "Wine " << *wine_ << ": " << (what);                                 \
    }                                                                                      \
    FAIL() << "this Windows lacks what the probe needs: " << (what);                       \
  }                                                                                        \
  static_assert(true)

// Whether this process runs with an elevated token.
bool elevated();

// A primary token for a second program of the same user as an unelevated program gets it: this
// process's token with Administrators deny-only, every privilege but change-notify removed, and
// the given integrity level (SECURITY_MANDATORY_MEDIUM_RID or SECURITY_MANDATORY_LOW_RID).
// Empty on failure, with the failing call in `error`.
win32::unique_handle user_token(DWORD integrity_rid, std::string& error);
// The same token for impersonation by a thread of this process.
win32::unique_handle user_impersonation_token(DWORD integrity_rid, std::string& error);

// Runs `program` with `token` and waits up to 60 s; the exit code, or absent when it could not
// start or did not end (the reason in `error`).
std::optional<DWORD> run_with_token(HANDLE token, const std::wstring& program,
                                    const std::vector<std::wstring>& args, std::string& error);

}  // namespace vorlane::testing

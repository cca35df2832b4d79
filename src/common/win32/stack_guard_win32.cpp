// Seeds the stack protector's canary before the C++ runtime's own seeding would, so that no DLL
// is searched beside the program at start.
//
// GCC's stack-protector runtime fills __stack_chk_guard in a start-up constructor through
// CryptAcquireContext. That loads the system's crypto providers, and their dependencies that
// are no KnownDLLs (bcrypt.dll among them) are searched in the program's folder first, before
// main can restrict the search to the system folder. An elevated program started from a folder
// others can write would run a planted DLL before its first line. This constructor runs first
// (priority 101) and fills the canary from the system's random generator, bcrypt.dll loaded
// from the system folder only; the runtime's seeding then finds it set and leaves it alone.
// Linked into every program (cmake/vorlane.cmake), as nothing refers to it.
#include <windows.h>
#include <bcrypt.h>
#include <intrin.h>

#include <cstdint>

#include "src/common/win32/unique_handle.hpp"

extern "C" std::uintptr_t __stack_chk_guard;

namespace vorlane::win32 {
namespace {

// Only when the system's generator cannot be reached: values an attacker outside the process
// does not know (ASLR places the image, the stack and the system DLLs per run or per boot),
// mixed so that every input bit reaches every output bit.
std::uint64_t fallback_seed() noexcept {
  LARGE_INTEGER counter{};
  ::QueryPerformanceCounter(&counter);
  std::uint64_t x = __rdtsc();
  const std::uint64_t inputs[] = {
      static_cast<std::uint64_t>(counter.QuadPart),
      ::GetCurrentProcessId() | (static_cast<std::uint64_t>(::GetCurrentThreadId()) << 32),
      reinterpret_cast<std::uint64_t>(&counter),
      reinterpret_cast<std::uint64_t>(&__stack_chk_guard),
      reinterpret_cast<std::uint64_t>(&::QueryPerformanceCounter),
      ::GetTickCount64()};
  for (const std::uint64_t input : inputs) {
    x ^= input + 0x9e3779b97f4a7c15 + (x << 6) + (x >> 2);
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9;
    x = (x ^ (x >> 27)) * 0x94d049bb133111eb;
    x ^= x >> 31;
  }
  return x;
}

std::uint64_t random_seed() noexcept {
  const unique_module bcrypt(::LoadLibraryExW(L"bcrypt.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
  if (bcrypt) {
    const auto generate = reinterpret_cast<decltype(&::BCryptGenRandom)>(
        reinterpret_cast<void*>(::GetProcAddress(bcrypt.get(), "BCryptGenRandom")));
    std::uint64_t value = 0;
    if (generate != nullptr &&
        BCRYPT_SUCCESS(generate(nullptr, reinterpret_cast<PUCHAR>(&value), sizeof value,
                                BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
      return value;
    }
  }
  return fallback_seed();
}

// Not protected itself: it changes the value its own epilogue would compare against.
__attribute__((constructor(101), no_stack_protector)) void seed_stack_guard() {
  std::uint64_t seed = random_seed();
  // A zero low byte stops a string copy that overruns a buffer from reading the canary out or
  // writing it back; zero as a whole would ask the runtime to seed it after all.
  seed &= ~std::uint64_t{0xff};
  __stack_chk_guard = seed != 0 ? seed : 0xff0a000000000000;
}

}  // namespace
}  // namespace vorlane::win32

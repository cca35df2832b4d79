// Demonstration: Keyward.exe --serve driven by the stand-in client through one session, with
// the frames on the pipe and the events the input observer saw printed afterwards.
#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/keyward_input/observer.hpp"
#include "tests/e2e/keyward_input/served_keyward.hpp"

namespace {

void print(const std::string& text) {
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()),
              &written, nullptr);
}

}  // namespace

int wmain() {
  using namespace vorlane::testing;
  auto observer = Observer::start();
  if (!observer) {
    print("!! the input observer did not come up\n");
    return 1;
  }
  auto served = ServedKeyward::start();
  if (!served) {
    print("!! " + served.error() + "\n");
    return 1;
  }
  print("== Keyward.exe --serve with a throwaway setup record naming " +
        narrow((*served)->client_path()) + "\n");
  print("== the stand-in client on \\\\.\\pipe\\" + (*served)->pipe_name() + "\n");

  const std::vector<std::string> steps{
      R"({"type":"hello","protocol":1})",
      R"({"type":"enable"})",
      R"({"type":"key","code":"KeyA","down":true})",
      R"({"type":"key","code":"KeyA","down":false})",
      R"({"type":"text","text":"Hi 😀"})",
      R"({"type":"button","button":0,"down":true,"x":0.25,"y":0.5})",
      R"({"type":"button","button":0,"down":false,"x":0.25,"y":0.5})",
      R"({"type":"scroll","dy":120})",
      R"({"type":"pointer","x":0.5,"y":0.5})",
      R"({"type":"disable"})",
      "@expect-close",
  };
  const RunResult client = (*served)->session(steps);
  print(client.out);

  print("== what the low-level hooks saw\n");
  for (const ObservedEvent& event : observer->stop()) {
    std::ostringstream line;
    line << event << "\n";
    print(line.str());
  }
  return client.exit_code == 0 ? 0 : 1;
}

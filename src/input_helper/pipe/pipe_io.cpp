#include "src/input_helper/pipe/pipe_io.hpp"

#include <thread>

namespace vorlane {

std::chrono::steady_clock::time_point SteadyClock::now() { return std::chrono::steady_clock::now(); }

void SteadyClock::sleep(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

}  // namespace vorlane

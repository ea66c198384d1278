// The wall-clock time where the program runs, from any thread.
#pragma once

#include <ctime>

namespace platform {

// `when` in the local time zone.
std::tm localTime(std::time_t when);

}  // namespace platform

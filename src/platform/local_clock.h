// The local clock, as far as the library reads it.
#ifndef QVN_PLATFORM_LOCAL_CLOCK_H_
#define QVN_PLATFORM_LOCAL_CLOCK_H_

#include <ctime>

namespace qvn::platform {

// The local calendar time of a moment, as the thread-safe localtime_r /
// localtime_s give it (all fields 0 when it cannot be converted).
std::tm LocalTime(std::time_t moment);

// Millisecond part of the local time of day, 0..999; 0 when it cannot be read.
int LocalMillisecond();

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_LOCAL_CLOCK_H_

// The local clock, as far as the library reads it.
#ifndef QVN_PLATFORM_LOCAL_CLOCK_H_
#define QVN_PLATFORM_LOCAL_CLOCK_H_

namespace qvn::platform {

// Millisecond part of the local time of day, 0..999; 0 when it cannot be read.
int LocalMillisecond();

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_LOCAL_CLOCK_H_

// Memory-bounded check of the framing: under an address-space limit well
// below the announced size, a reply that announces 2 GB and closes must end
// in a ConnectionError, not in an allocation failure.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "base/errors.h"
#include "conversation/framing.h"
#include "support/fake_server.h"
#include "support/memory_stream.h"

namespace qvn::testing {
namespace {

#if defined(__SANITIZE_ADDRESS__)
#define QVN_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QVN_UNDER_ASAN 1
#endif
#endif

#ifndef QVN_UNDER_ASAN
long VirtualBytes() {
  long pages = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
    std::fclose(f);
  }
  return pages * sysconf(_SC_PAGESIZE);
}

int ReadHugeReplyUnderLimit() {
  testing::MemoryStream client(testing::Reply::HugeLengthThenClose().bytes);
  rlimit limit{};
  limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(VirtualBytes()) + (512L << 20);
  if (setrlimit(RLIMIT_AS, &limit) != 0) return 3;
  try {
    ReadMessage(client);
  } catch (const ConnectionError&) {
    return 0;
  } catch (...) {
    return 2;
  }
  return 1;
}
#endif

TEST(ReadMessagePosix, HugeAnnouncedCountStaysWithinMemoryLimit) {
#ifdef QVN_UNDER_ASAN
  GTEST_SKIP() << "the sanitizer reserves more address space than the limit allows";
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::_Exit(ReadHugeReplyUnderLimit()), ::testing::ExitedWithCode(0), "");
#endif
}

}  // namespace
}  // namespace qvn::testing

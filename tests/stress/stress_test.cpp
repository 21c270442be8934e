// The simulated daemon with the extension under load from eight threads (stress_daemon), as
// a process of its own: it must end on its own, within its bound, with everything held.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>

#include "tests/platform/process.hpp"

namespace {

TEST(Stress, EightThreadsOnHooksAndReplacementsWhileTheModeFlipsAndNotificationsFire) {
  hv_platform_test::Child daemon({HV_STRESS_DAEMON, "3"});
  ASSERT_TRUE(daemon.started());
  const int status = daemon.wait(std::chrono::seconds(90));
  ASSERT_NE(status, -1) << "stress_daemon did not end within 90 seconds";
  ASSERT_TRUE(WIFEXITED(status)) << "stress_daemon ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace

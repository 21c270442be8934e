// reset and stand-down: the platform's own thermal state, for the package's removal.
#include <notify.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>

#include "ctl/commands.hpp"
#include "extension/contract/contract.hpp"
#include "extension/osthermal/platform_reset.hpp"

namespace halvernic::ctl {

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kDefaultWaitSeconds = 3;
constexpr double kLongestWaitSeconds = 60;
// The stand-down is posted again this often while the tool waits: a daemon launched in the
// meantime (its observers not yet registered at the first post) hears the next one.
constexpr auto kRepostPeriod = std::chrono::milliseconds(500);
constexpr auto kPollPeriod = std::chrono::milliseconds(20);

std::string notifyFailure(const char* what, std::uint32_t status) {
  return std::string(what) + " failed (notify status " + std::to_string(status) + ")";
}

}  // namespace

Status runReset(Invocation& invocation) {
  const osthermal::PlatformReset reset = osthermal::resetPlatformThermalState();
  for (const osthermal::ResetStep& step : reset.steps) {
    if (step.status == 0) continue;
    invocation.complain(std::string(step.function) + ", " + step.what() + ": " +
                        osthermal::describeStatus(step));
  }
  if (!reset.succeeded()) return Status::failed;
  invocation.context.out
      << "The OS thermal status store holds none of Halvernic's keys; the thermal-pressure level "
         "is\n"
         "published as nominal. While the extension is loaded, its next application sets its\n"
         "settings again.\n";
  return Status::ok;
}

Status runStandDown(Invocation& invocation) {
  double wait = kDefaultWaitSeconds;
  if (const auto text = invocation.option("--wait")) {
    const auto seconds = parseNumber(invocation, "--wait", *text, 0, kLongestWaitSeconds);
    if (!seconds) return Status::usage;
    wait = *seconds;
  }
  int token = 0;
  const std::uint32_t registered = notify_register_check(contract::kStoodDownNotification, &token);
  if (registered != NOTIFY_STATUS_OK) {
    invocation.complain(notifyFailure("registering for the answer", registered));
    return Status::failed;
  }
  // Only an answer given after this counts.
  notify_set_state(token, 0);
  const auto start = Clock::now();
  const auto deadline =
      start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(wait));
  auto nextPost = start;
  std::uint64_t answer = 0;
  for (;;) {
    const auto now = Clock::now();
    if (now >= nextPost) {
      const std::uint32_t posted = notify_post(contract::kStandDownNotification);
      if (posted != NOTIFY_STATUS_OK) {
        notify_cancel(token);
        invocation.complain(notifyFailure("posting the stand-down", posted));
        return Status::failed;
      }
      nextPost = now + kRepostPeriod;
    }
    if (notify_get_state(token, &answer) != NOTIFY_STATUS_OK) answer = 0;
    if (answer != 0 || now >= deadline) break;
    std::this_thread::sleep_for(kPollPeriod);
  }
  notify_cancel(token);
  if (answer == 0) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", wait);
    invocation.complain(std::string("no running extension answered within ") + seconds +
                        " s (none is loaded, or thermalmonitord is not running)");
    return Status::failed;
  }
  invocation.context.out << "thermalmonitord (pid " << answer
                         << ") stood down: native thermal control until it restarts.\n";
  return Status::ok;
}

}  // namespace halvernic::ctl

// The restart rule on an injected clock: when a restart request ends the daemon, what folds
// into a pending end, what ends nothing; and the throttle interval read from a launchd
// property list.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/objc/foundation.hpp"
#include "extension/startup/restart_rule.hpp"

namespace {

namespace fs = std::filesystem;
using halvernic::startup::RestartRule;
using Outcome = RestartRule::Outcome;

constexpr std::int64_t kSecond = 1'000'000'000;
constexpr std::int64_t kLoad = 1000 * kSecond;  // the library's load, on the test's clock

int g_throttleReads = 0;
std::int64_t g_throttle = 10 * kSecond;
std::int64_t throttleSource() {
  ++g_throttleReads;
  return g_throttle;
}

struct Engine {
  bool nothing = false;  // what the engine answers
  int asked = 0;
  auto changesNothing() {
    return [this] {
      ++asked;
      return nothing;
    };
  }
};

class Rule : public testing::Test {
protected:
  void SetUp() override {
    g_throttleReads = 0;
    g_throttle = 10 * kSecond;
  }
};

TEST_F(Rule, AnEndComesNoEarlierThanTheDelayAndTheThrottleIntervalFromTheLoad) {
  struct Case {
    const char* what;
    std::int64_t throttle, requestAt, deadline;
  };
  const Case cases[] = {
      {"at once after the load: the throttle interval", 10 * kSecond, kLoad, kLoad + 10 * kSecond},
      {"within the interval", 10 * kSecond, kLoad + 3 * kSecond, kLoad + 10 * kSecond},
      {"0.1 s before the interval ends: still the 0.2 s delay", 10 * kSecond,
       kLoad + 10 * kSecond - kSecond / 10, kLoad + 10 * kSecond + kSecond / 10},
      {"past the interval: the delay", 10 * kSecond, kLoad + 60 * kSecond,
       kLoad + 60 * kSecond + kSecond / 5},
      {"a short throttle", kSecond / 2, kLoad + kSecond / 10, kLoad + kSecond / 2},
      {"no throttle", 0, kLoad, kLoad + kSecond / 5},
      {"a negative throttle counts as none", -5 * kSecond, kLoad, kLoad + kSecond / 5},
      {"a throttle of years is cut to a day", 1'000'000 * kSecond, kLoad,
       kLoad + halvernic::startup::kLongestThrottleIntervalNanoseconds},
  };
  for (const Case& c : cases) {
    g_throttle = c.throttle;
    RestartRule rule(kLoad, &throttleSource);
    Engine engine;
    const RestartRule::Decision decision = rule.request(c.requestAt, engine.changesNothing());
    EXPECT_EQ(decision.outcome, Outcome::scheduled) << c.what;
    EXPECT_EQ(decision.deadline, c.deadline) << c.what;
    EXPECT_TRUE(rule.pending()) << c.what;
  }
}

TEST_F(Rule, RequestsWhileAnEndIsPendingFoldWithoutAskingTheEngine) {
  RestartRule rule(kLoad, &throttleSource);
  Engine engine;
  ASSERT_EQ(rule.request(kLoad + kSecond, engine.changesNothing()).outcome, Outcome::scheduled);
  EXPECT_EQ(engine.asked, 1);
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(rule.request(kLoad + kSecond + i * kSecond / 100, engine.changesNothing()).outcome,
              Outcome::folded);
  }
  EXPECT_EQ(engine.asked, 1) << "a flood of requests costs no more than the first";
  EXPECT_EQ(g_throttleReads, 1) << "the property list is read once";
  EXPECT_TRUE(rule.due(engine.changesNothing()));
  // The process ends; were it still there, requests would keep folding.
  EXPECT_EQ(rule.request(kLoad + 20 * kSecond, engine.changesNothing()).outcome, Outcome::folded);
}

TEST_F(Rule, ARestartThatChangesNothingEndsNothingWhenAskedOrWhenDue) {
  RestartRule rule(kLoad, &throttleSource);
  Engine engine;
  engine.nothing = true;
  EXPECT_EQ(rule.request(kLoad + 20 * kSecond, engine.changesNothing()).outcome,
            Outcome::unchanged);
  EXPECT_FALSE(rule.pending());
  EXPECT_EQ(g_throttleReads, 0) << "nothing scheduled, nothing read";

  // Something changed: an end is scheduled; by the time it is due nothing would change any
  // more (the file went back before the engine applied it): no end, and the next request
  // schedules anew from its own time.
  engine.nothing = false;
  ASSERT_EQ(rule.request(kLoad + 21 * kSecond, engine.changesNothing()).outcome,
            Outcome::scheduled);
  engine.nothing = true;
  EXPECT_FALSE(rule.due(engine.changesNothing()));
  EXPECT_FALSE(rule.pending());
  engine.nothing = false;
  const RestartRule::Decision again = rule.request(kLoad + 30 * kSecond, engine.changesNothing());
  EXPECT_EQ(again.outcome, Outcome::scheduled);
  EXPECT_EQ(again.deadline, kLoad + 30 * kSecond + kSecond / 5);
  EXPECT_TRUE(rule.due(engine.changesNothing()));
}

TEST_F(Rule, AfterAStandDownNothingEndsAndAPendingEndIsDropped) {
  RestartRule rule(kLoad, &throttleSource);
  Engine engine;
  ASSERT_EQ(rule.request(kLoad + kSecond, engine.changesNothing()).outcome, Outcome::scheduled);
  rule.standDown();
  EXPECT_FALSE(rule.due(engine.changesNothing()));
  EXPECT_EQ(rule.request(kLoad + 20 * kSecond, engine.changesNothing()).outcome,
            Outcome::stoodDown);
  EXPECT_FALSE(rule.due(engine.changesNothing()));
  EXPECT_EQ(engine.asked, 1) << "a stood-down rule asks the engine nothing";
}

TEST_F(Rule, AStandDownWhileTheEngineIsAskedWins) {
  RestartRule rule(kLoad, &throttleSource);
  bool nothing = false;
  const RestartRule::Decision decision = rule.request(kLoad + kSecond, [&] {
    rule.standDown();  // arrives while the engine looks at the file
    return nothing;
  });
  EXPECT_EQ(decision.outcome, Outcome::stoodDown);
  EXPECT_FALSE(rule.pending());
}

TEST_F(Rule, DueWithoutAPendingEndEndsNothing) {
  RestartRule rule(kLoad, &throttleSource);
  Engine engine;
  EXPECT_FALSE(rule.due(engine.changesNothing()));
  EXPECT_EQ(engine.asked, 0);
}

// ---- the throttle interval of a launchd property list ------------------------------------

class ThrottleOfPropertyList : public testing::Test {
protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("hv-restart-rule-" + std::to_string(getpid()));
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }
  std::string write(const std::string& name, const std::string& text) {
    const std::string path = (folder_ / name).string();
    std::ofstream(path, std::ios::trunc) << text;
    return path;
  }
  static std::string plist(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + body +
           "</plist>\n";
  }
  fs::path folder_;
};

TEST_F(ThrottleOfPropertyList, ReadsTheJobsValueAndFallsBackToLaunchdsDefault) {
  using halvernic::startup::kDefaultThrottleIntervalNanoseconds;
  using halvernic::startup::kLongestThrottleIntervalNanoseconds;
  const std::string label = "<key>Label</key><string>com.apple.thermalmonitord</string>";
  struct Case {
    const char* what;
    std::string text;
    std::int64_t expected;
  };
  const Case cases[] = {
      {"whole seconds",
       plist("<dict>" + label + "<key>ThrottleInterval</key><integer>3</integer></dict>"),
       3 * kSecond},
      {"a real number", plist("<dict><key>ThrottleInterval</key><real>0.5</real></dict>"),
       kSecond / 2},
      {"zero", plist("<dict><key>ThrottleInterval</key><integer>0</integer></dict>"), 0},
      {"no key", plist("<dict>" + label + "</dict>"), kDefaultThrottleIntervalNanoseconds},
      {"negative", plist("<dict><key>ThrottleInterval</key><integer>-4</integer></dict>"),
       kDefaultThrottleIntervalNanoseconds},
      {"a string", plist("<dict><key>ThrottleInterval</key><string>5</string></dict>"),
       kDefaultThrottleIntervalNanoseconds},
      {"a Boolean", plist("<dict><key>ThrottleInterval</key><true/></dict>"),
       kDefaultThrottleIntervalNanoseconds},
      {"enormous", plist("<dict><key>ThrottleInterval</key><real>1e300</real></dict>"),
       kLongestThrottleIntervalNanoseconds},
      {"not a dictionary", plist("<array><integer>3</integer></array>"),
       kDefaultThrottleIntervalNanoseconds},
      {"not a property list", "ThrottleInterval = 3", kDefaultThrottleIntervalNanoseconds},
      {"empty", "", kDefaultThrottleIntervalNanoseconds},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string path = write("case" + std::to_string(++n) + ".plist", c.text);
    EXPECT_EQ(halvernic::startup::throttleIntervalOfPropertyList(path), c.expected) << c.what;
  }
  EXPECT_EQ(
      halvernic::startup::throttleIntervalOfPropertyList((folder_ / "missing.plist").string()),
      kDefaultThrottleIntervalNanoseconds);
  EXPECT_EQ(halvernic::startup::throttleIntervalOfPropertyList(folder_.string()),
            kDefaultThrottleIntervalNanoseconds)
      << "a folder";
}

}  // namespace

// The overheat protection inside the power policy engine, on an injected battery and clock:
// when it engages and releases, what the engine then answers and applies to the simulated
// daemon, what it logs and keeps across a restart, and what it never touches.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/objc/foundation.hpp"
#include "extension/contract/contract.hpp"
#include "extension/contract/overheat.hpp"
#include "extension/osthermal/platform_reset.hpp"
#include "extension/policy/power_helper.hpp"
#include "sim/sim.hpp"
#include "tests/support/log_capture.hpp"
#include "tests/support/preferences.hpp"

namespace {

namespace sim = halvernic::sim;
namespace contract = halvernic::contract;
namespace fs = std::filesystem;
using PowerMode = HPowerHepler::PowerMode;
using Event = HPowerHepler::OverheatEvent;

constexpr std::int64_t kSecond = 1'000'000'000;

// The injected battery (hundredths of a degree; nothing: unknown) and clock.
std::atomic<int> gReading{3000};
std::atomic<bool> gKnown{true};
std::atomic<std::int64_t> gNow{1000 * kSecond};
std::atomic<int> gReads{0};
std::optional<int> battery() {
  ++gReads;
  if (!gKnown.load()) return std::nullopt;
  return gReading.load();
}
std::int64_t clock() { return gNow.load(); }

// The changes told to the observer (the first reading apart).
std::vector<Event> gEvents;
int gFirstReadings = 0;
void observe(const Event& event) {
  if (event.kind == Event::Kind::firstReading) {
    ++gFirstReadings;
  } else {
    gEvents.push_back(event);
  }
}

class Overheat : public testing::Test {
protected:
  static void SetUpTestSuite() {
    hv_test::device_root();
    sim::register_classes();
    daemon_ = new sim::Daemon();
    daemon_->start(sim::default_configuration_folder());
  }

  void SetUp() override {
    hv_test::write_preferences({});
    state_ = contract::resolvedOverheatStatePath();
    fs::remove(state_);
    // The jailbreak's var/lib exists on a device; the extension makes only its own folder.
    fs::create_directories(fs::path(state_).parent_path().parent_path());
    gReading = 3000;
    gKnown = true;
    gNow = 1000 * kSecond;
    gReads = 0;
    gEvents.clear();
    gFirstReadings = 0;
    engine().setBatteryForTesting(&battery, &clock);
    HPowerHepler::setOverheatObserver(&observe);
    engine().resetForTesting();
    engine().setCommonProductObject(daemon_->product());
    engine().setMitigationControllerObject(daemon_->controller());
    sim::clear_calls();
    log_.clear();
  }
  void TearDown() override {
    HPowerHepler::setOverheatObserver(nullptr);
    engine().setBatteryForTesting(nullptr, nullptr);
    fs::remove(state_);
  }

  static HPowerHepler& engine() { return HPowerHepler::shared(); }

  // A new engine without a state file, holding the daemon's objects.
  void restart_without_state() {
    fs::remove(state_);
    engine().resetForTesting();
    engine().setCommonProductObject(daemon_->product());
    engine().setMitigationControllerObject(daemon_->controller());
  }

  // A reading taken now: the clock moves on by the sampling interval first.
  static void read(int hundredths) {
    gKnown = true;
    gReading = hundredths;
    gNow += contract::kBatterySampleIntervalSeconds * kSecond;
    engine().sampleBatteryIfDue();
  }
  static void unknown() {
    gKnown = false;
    gNow += contract::kBatterySampleIntervalSeconds * kSecond;
    engine().sampleBatteryIfDue();
  }
  static void write(std::initializer_list<std::pair<const char*, id>> entries) {
    hv_test::write_preferences(entries);
    engine().applyThermalState();  // the engine takes the file in, as after a notification
  }
  std::vector<std::string> overheat_lines() const {
    std::vector<std::string> lines;
    for (const std::string& line : log_.lines()) {
      if (line.rfind("halvernic overheat protection", 0) == 0) lines.push_back(line);
    }
    return lines;
  }

  static sim::Daemon* daemon_;
  std::string state_;
  hv_test::LogCapture log_;
  objc::AutoreleasePool pool_;
};
sim::Daemon* Overheat::daemon_ = nullptr;

// Each threshold from below, at it and above it, in fullPower.
TEST_F(Overheat, EngagesAtFiftyAndReleasesAtFortyFiveOnlyAfterAMinute) {
  write({{"thermalPowerMode", objc::string("fullPower")}});
  for (int reading : {4000, 4999}) {
    read(reading);
    EXPECT_FALSE(engine().overheatProtectionEngaged()) << reading;
  }
  read(5000);
  ASSERT_TRUE(engine().overheatProtectionEngaged()) << "at 50.00 °C";
  EXPECT_EQ(engine().currentPowerMode(), PowerMode::off);
  EXPECT_EQ(engine().effectivePowerMode(PowerMode::fullPower), PowerMode::off);
  EXPECT_EQ(overheat_lines(),
            std::vector<std::string>{"halvernic overheat protection engaged: battery 50.00 C, "
                                     "fullPower acts as native until it cools"});
  ASSERT_EQ(gEvents.size(), 1u);
  EXPECT_EQ(gEvents[0].kind, Event::Kind::engaged);
  EXPECT_TRUE(gEvents[0].modeChanged) << "the daemon restarts";

  // Cool enough, but within the minute (engaged at t0; read(): +5 s each).
  const std::int64_t engagedAt = gNow;
  for (int reading : {4501, 4500, 4400, 4499}) read(reading);
  EXPECT_TRUE(engine().overheatProtectionEngaged());
  gNow = engagedAt + 60 * kSecond - contract::kBatterySampleIntervalSeconds * kSecond - 1;
  read(4500);
  EXPECT_TRUE(engine().overheatProtectionEngaged()) << "a nanosecond short of the minute";
  gNow = engagedAt + 60 * kSecond - contract::kBatterySampleIntervalSeconds * kSecond;
  read(4501);
  EXPECT_TRUE(engine().overheatProtectionEngaged()) << "45.01 °C is not cool enough";
  read(4500);
  EXPECT_FALSE(engine().overheatProtectionEngaged()) << "at 45.00 °C, a minute on";
  EXPECT_EQ(engine().currentPowerMode(), PowerMode::fullPower);
  EXPECT_EQ(overheat_lines().back(),
            "halvernic overheat protection released: battery 45.00 C after 65 s");
  ASSERT_EQ(gEvents.size(), 2u);
  EXPECT_EQ(gEvents[1].kind, Event::Kind::released);
  EXPECT_TRUE(gEvents[1].modeChanged);

  // Between the thresholds nothing changes either way; above 50 it engages again.
  read(4999);
  EXPECT_FALSE(engine().overheatProtectionEngaged());
  read(5001);
  EXPECT_TRUE(engine().overheatProtectionEngaged());
  EXPECT_EQ(overheat_lines().size(), 3u) << "one line per change";
}

TEST_F(Overheat, UnknownReadingsChangeNothingAndTheBatteryIsReadOncePerInterval) {
  write({{"thermalPowerMode", objc::string("fullPower")}});
  unknown();
  EXPECT_FALSE(engine().overheatProtectionEngaged());
  EXPECT_FALSE(engine().overheatStatus().lastReading);
  EXPECT_EQ(gFirstReadings, 0) << "no first reading yet";
  read(5200);
  ASSERT_TRUE(engine().overheatProtectionEngaged());
  for (int i = 0; i < 20; ++i) unknown();  // 100 s of unknown readings
  EXPECT_TRUE(engine().overheatProtectionEngaged()) << "unknown is not cool";
  EXPECT_EQ(engine().overheatStatus().lastReading, 5200) << "the last known reading stays";

  // Within the interval the battery is not read again, however often asked.
  const int reads = gReads;
  for (int i = 0; i < 100; ++i) engine().sampleBatteryIfDue();
  gNow += contract::kBatterySampleIntervalSeconds * kSecond - 1;
  engine().sampleBatteryIfDue();
  EXPECT_EQ(gReads, reads);
  gNow += 1;
  engine().sampleBatteryIfDue();
  EXPECT_EQ(gReads, reads + 1);
  gNow -= 3 * kSecond;  // a clock that went back reads at once
  engine().sampleBatteryIfDue();
  EXPECT_EQ(gReads, reads + 2);
}

TEST_F(Overheat, TheFirstKnownReadingIsToldOnce) {
  read(3100);
  read(3200);
  EXPECT_EQ(gFirstReadings, 1);
  EXPECT_TRUE(gEvents.empty());
  EXPECT_EQ(engine().overheatStatus().lastReading, 3200);
  EXPECT_GT(engine().overheatStatus().lastReadingWall, 0);
}

// The key as the contract reads Booleans: absent or of another type is on.
TEST_F(Overheat, TheKeyAbsentTrueFalseOrOfAnotherType) {
  struct Case {
    const char* name;
    id value;
    bool protects;
  };
  const objc::Ref array = objc::makeMutableArray();
  const Case cases[] = {
      {"absent", nullptr, true},
      {"true", objc::boolean(true), true},
      {"false", objc::boolean(false), false},
      {"the number 0", objc::number(0), false},
      {"the string no", objc::string("no"), false},
      {"the string YES", objc::string("YES"), true},
      {"an array", array.get(), true},
  };
  for (const Case& c : cases) {
    restart_without_state();
    if (c.value) {
      write({{"thermalPowerMode", objc::string("fullPower")},
             {"thermalOverheatProtectionEnabled", c.value}});
    } else {
      write({{"thermalPowerMode", objc::string("fullPower")}});
    }
    EXPECT_EQ(engine().overheatStatus().enabled, c.protects) << c.name;
    read(6000);
    EXPECT_EQ(engine().overheatProtectionEngaged(), c.protects) << c.name;
    EXPECT_EQ(engine().currentPowerMode(), c.protects ? PowerMode::off : PowerMode::fullPower)
        << c.name;
  }
}

TEST_F(Overheat, TurningTheKeyOffWhileEngagedReleasesAtOnce) {
  write({{"thermalPowerMode", objc::string("fullPower")}});
  read(5500);
  ASSERT_TRUE(engine().overheatProtectionEngaged());
  ASSERT_TRUE(fs::exists(state_));
  log_.clear();
  gEvents.clear();
  write({{"thermalPowerMode", objc::string("fullPower")},
         {"thermalOverheatProtectionEnabled", objc::boolean(false)}});
  EXPECT_FALSE(engine().overheatProtectionEngaged()) << "hot, and within the minute";
  EXPECT_FALSE(fs::exists(state_));
  EXPECT_EQ(overheat_lines(), std::vector<std::string>{"halvernic overheat protection released: "
                                                       "thermalOverheatProtectionEnabled off"});
  ASSERT_EQ(gEvents.size(), 1u);
  EXPECT_TRUE(gEvents[0].modeChanged);
  // The same application already applied full power.
  EXPECT_EQ(log_.count("halvernic: full power mode"), 1u);
  read(7000);
  EXPECT_FALSE(engine().overheatProtectionEngaged()) << "off is off";
}

// While engaged in fullPower every answer and every application is the native mode's
// without prevent-dimming; the OS store switches stay as the user set them.
TEST_F(Overheat, EngagedFullPowerActsAsNativeWithoutPreventDimming) {
  write({{"thermalPowerMode", objc::string("fullPower")},
         {"thermalPreventDimmingEnabled", objc::boolean(true)},
         {"thermalSuppressNotificationsEnabled", objc::boolean(true)}});
  EXPECT_TRUE(engine().shouldForceThermalState());
  read(5100);
  ASSERT_TRUE(engine().overheatProtectionEngaged());
  EXPECT_EQ(engine().currentPowerMode(), PowerMode::off);
  EXPECT_FALSE(engine().preventDimmingEnabled());
  EXPECT_FALSE(engine().shouldForceThermalState());
  EXPECT_EQ(engine().adjustCPUPowerTarget(30000), 30000);
  EXPECT_EQ(engine().adjustComponentPowerLimit(20000, 3), 20000);
  EXPECT_EQ(engine().filterCPULevel(1), 1);
  EXPECT_TRUE(engine().boolPreference(contract::kPreventDimmingKey, false))
      << "the file is read as it is";

  sim::clear_calls();
  log_.clear();
  engine().applyThermalState();
  EXPECT_EQ(
      log_.lines(),
      (std::vector<std::string>{
          "halvernic native/lowPower thermal state: restored CommonProduct simulation off once",
          "thermalPowerMode native/lowPower -> thermal mitigations restored native once (0)",
          "halvernic: native thermal mode restored",
          "thermalSuppressNotificationsEnabled: on -> 0"}));
  EXPECT_EQ(sim::call_texts({"putDeviceInThermalSimulationMode:"}),
            std::vector<std::string>{"putDeviceInThermalSimulationMode: off"});
  const auto mc = sim::controller_state(daemon_->controller());
  EXPECT_FALSE(mc.power_save_active);
  EXPECT_EQ(mc.cpu_level, 0);

  // Released: full power comes back the same way.
  gNow += 60 * kSecond;
  read(4400);
  ASSERT_FALSE(engine().overheatProtectionEngaged());
  log_.clear();
  engine().applyThermalState();
  EXPECT_EQ(log_.count("halvernic: full power mode"), 1u);
  EXPECT_TRUE(engine().preventDimmingEnabled());
}

// lowPower and native are never changed, except that prevent-dimming is dropped.
TEST_F(Overheat, LowPowerAndNativeKeepTheirModeAndLoseOnlyPreventDimming) {
  struct Case {
    const char* mode;
    bool preventDimming;
    bool engages;
  };
  const Case cases[] = {{"lowPower", false, false},
                        {"off", false, false},
                        {"lowPower", true, true},
                        {"off", true, true}};
  for (const Case& c : cases) {
    const std::string name = std::string(c.mode) + (c.preventDimming ? " with" : " without");
    restart_without_state();
    gEvents.clear();
    write({{"thermalPowerMode", objc::string(c.mode)},
           {"thermalPreventDimmingEnabled", objc::boolean(c.preventDimming)}});
    const PowerMode mode = engine().currentPowerMode();
    read(6500);
    EXPECT_EQ(engine().overheatProtectionEngaged(), c.engages) << name;
    EXPECT_EQ(engine().currentPowerMode(), mode) << name;
    EXPECT_EQ(engine().effectivePowerMode(mode), mode) << name;
    EXPECT_FALSE(engine().preventDimmingEnabled()) << name;
    if (c.engages) {
      ASSERT_EQ(gEvents.size(), 1u) << name;
      EXPECT_FALSE(gEvents[0].modeChanged) << name << ": no restart";
    }
    if (mode == PowerMode::lowPower) {
      EXPECT_EQ(engine().filterCPULevel(0), 2) << name << ": the CPU lock stays";
    }
  }
  EXPECT_EQ(log_.count("halvernic overheat protection engaged: battery 65.00 C, prevent dimming "
                       "off until it cools"),
            2u);

  // Engaged in lowPower with prevent-dimming, the application releases the forced light.
  restart_without_state();
  write({{"thermalPowerMode", objc::string("lowPower")},
         {"thermalPreventDimmingEnabled", objc::boolean(true)}});
  read(5000);
  sim::clear_calls();
  log_.clear();
  engine().applyThermalState();
  EXPECT_EQ(
      log_.count(
          "halvernic native/lowPower thermal state: restored CommonProduct simulation off once"),
      1u);
  EXPECT_EQ(log_.count("halvernic: low power mode at CPU level 2 with soft ceiling"), 1u);
  EXPECT_EQ(sim::controller_state(daemon_->controller()).cpu_level, 2);
}

// The engaged state lives in its file: a new daemon (a new engine) starts engaged, and the
// minute counts from the first engaging.
TEST_F(Overheat, TheEngagedStateSurvivesTheDaemonsRestart) {
  write({{"thermalPowerMode", objc::string("fullPower")}});
  read(5300);
  const std::int64_t engagedAt = gNow;
  const contract::OverheatStateReading kept = contract::readOverheatState(state_);
  ASSERT_EQ(kept.status, contract::OverheatStateReading::Status::engaged);
  EXPECT_EQ(kept.state.engagedAt, engagedAt);
  EXPECT_EQ(kept.state.readingCentiCelsius, 5300);
  EXPECT_EQ(fs::status(state_).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);

  gNow += 20 * kSecond;
  engine().resetForTesting();  // as a relaunched daemon: nothing read yet
  EXPECT_TRUE(engine().overheatProtectionEngaged());
  EXPECT_FALSE(engine().restartWouldChangeNothing()) << "nothing in force yet";
  EXPECT_EQ(engine().currentPowerMode(), PowerMode::off) << "from the first question on";
  EXPECT_EQ(log_.count("halvernic overheat protection still engaged since battery 53.00 C"), 1u);
  engine().applyThermalState();
  EXPECT_TRUE(engine().restartWouldChangeNothing()) << "the mode in force is the native one";

  gNow = engagedAt + 55 * kSecond;
  read(4000);  // 60 s after engaging, in the relaunched daemon
  EXPECT_FALSE(engine().overheatProtectionEngaged());
  EXPECT_FALSE(fs::exists(state_));
  EXPECT_FALSE(engine().restartWouldChangeNothing()) << "fullPower is in force again";
}

TEST_F(Overheat, AStateFileFromBeforeABootOrDamagedStartsTheMinuteAgain) {
  write({{"thermalPowerMode", objc::string("fullPower")}});
  contract::OverheatState future;
  future.engagedAt = gNow + 3600 * kSecond;  // a continuous clock that began again
  future.readingCentiCelsius = 5100;
  ASSERT_EQ(contract::writeOverheatState(state_, future), 0);
  engine().resetForTesting();
  ASSERT_TRUE(engine().overheatProtectionEngaged());
  read(4000);
  EXPECT_TRUE(engine().overheatProtectionEngaged()) << "the minute starts at the launch";
  gNow += 60 * kSecond;
  read(4000);
  EXPECT_FALSE(engine().overheatProtectionEngaged());

  std::FILE* file = std::fopen(state_.c_str(), "w");
  std::fputs("<plist>garbage", file);
  std::fclose(file);
  engine().resetForTesting();
  EXPECT_TRUE(engine().overheatProtectionEngaged()) << "a damaged file errs on the cool side";
  EXPECT_EQ(log_.count("halvernic overheat protection still engaged since battery ? C"), 1u);
}

TEST_F(Overheat, NothingIsReadOrChangedOnceStoodDown) {
  write({{"thermalPowerMode", objc::string("fullPower")}});
  engine().standDown();
  const int reads = gReads;
  read(9000);
  EXPECT_EQ(gReads, reads);
  EXPECT_FALSE(engine().overheatProtectionEngaged());
  EXPECT_FALSE(fs::exists(state_));
  engine().resetForTesting();
}

}  // namespace

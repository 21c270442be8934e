// The extension's record of its own process, on the simulated daemon's classes: what the
// hook layer and the replacement layer tell it, the log line of each skip, and when the
// report file is written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/objc/foundation.hpp"
#include "extension/contract/report.hpp"
#include "extension/hooking/hook.hpp"
#include "extension/hooking/host.hpp"
#include "extension/report/recorder.hpp"
#include "sim/sim.hpp"
#include "tests/support/log_capture.hpp"

namespace {

namespace contract = halvernic::contract;
namespace fs = std::filesystem;
namespace hook = halvernic::hook;
namespace host = halvernic::host;
namespace sim = halvernic::sim;
using contract::InstallOutcome;
using contract::ReportLayer;

// ---- hook tables: one of each outcome ----------------------------------------------------------

void passed_cpu_level(hook::Orig<void(int)> orig, id self, int level) { orig(self, level); }
void passed_dvd1_level(hook::Orig<void(int)> orig, id self, int level) { orig(self, level); }
int passed_cpu_level_getter(hook::Orig<int()> orig, id self) { return orig(self); }
id passed_configuration(hook::Orig<id(id)> orig, id self, id path) { return orig(self, path); }

constexpr hook::Replacement kControllerReplacements[] = {
    hook::instanceMethod<host::kSetCPULevel, &passed_cpu_level>(),
    hook::instanceMethod<host::kSetDVD1Level, &passed_dvd1_level>(),    // left out below
    hook::instanceMethod<host::kCPULevel, &passed_cpu_level_getter>(),  // retyped below
};
constinit const hook::ClassHook kControllerHook{
    "MitigationControllerHook", host::kMitigationController, kControllerReplacements};

constexpr hook::Replacement kDictionaryReplacements[] = {
    hook::classMethod<host::kDictionaryWithContentsOfFile, &passed_configuration>(),
};
constinit const hook::ClassHook kDictionaryHook{"NSDictionaryHook", host::kNSDictionary,
                                                kDictionaryReplacements};

constinit objc::ClassName kAbsent{"HalvernicNoSuchClass"};
constexpr hook::Replacement kAbsentReplacements[] = {
    hook::instanceMethod<host::kSetCPULevel, &passed_cpu_level>(),
    hook::instanceMethod<host::kCPULevel, &passed_cpu_level_getter>(),
};
constinit const hook::ClassHook kAbsentHook{"replacements", kAbsent, kAbsentReplacements};

class RecorderTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    sim::Options options;
    options.omitted_methods = {"MitigationController/setDVD1Level:"};
    options.retyped_methods = {{"MitigationController/CPULevel", "q16@0:8"}};
    ASSERT_TRUE(sim::register_classes(options));
  }
  void SetUp() override {
    char folder[] = "/tmp/hv-recorder-test-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    base_ = folder;
    path_ = base_ + "/com.nu-falk.halvernic/report.plist";
  }
  void TearDown() override { fs::remove_all(base_); }

  // Installs the tables as start-up does: the hooks, then a replacement group.
  static void installAll(halvernic::report::Recorder& recorder) {
    const hook::ClassHook* hooks[] = {&kControllerHook, &kDictionaryHook};
    hook::install(recorder.hookObserver(), hooks);
    hook::installInto(recorder.replacementObserver(), kAbsentHook, nullptr);
  }

  contract::ReportReading read() const { return contract::readExtensionReport(path_); }

  std::string base_, path_;
  hv_test::LogCapture log_;
};

TEST_F(RecorderTest, EveryEntryIsRecordedWithItsOutcomeAndEachSkipIsLoggedOnce) {
  halvernic::report::Recorder recorder;
  installAll(recorder);

  const std::string expectedCPULevel = objc::methodTypes<int>();
  EXPECT_EQ(
      log_.lines(),
      (std::vector<std::string>{
          "halvernic: MitigationControllerHook: no method -[MitigationController setDVD1Level:]",
          "halvernic: MitigationControllerHook: other types for -[MitigationController "
          "CPULevel]: host q16@0:8, expected " +
              expectedCPULevel,
          "halvernic: replacements: no class HalvernicNoSuchClass",
      }));

  // Each entry once, in installation order; a missing class stands for each of its selectors.
  const contract::ExtensionReport report = recorder.current();
  std::vector<std::string> entries;
  for (const contract::ReportedMethod& m : report.methods) {
    entries.push_back(std::string(contract::reportLayerValue(m.layer)) + " " + m.owner + " " +
                      m.method() + " " + contract::installOutcomeValue(m.outcome) + " " +
                      m.hostTypes + " " + m.expectedTypes);
  }
  EXPECT_EQ(
      entries,
      (std::vector<std::string>{
          "hook MitigationControllerHook -[MitigationController setCPULevel:] installed  ",
          "hook MitigationControllerHook -[MitigationController setDVD1Level:] missingMethod  ",
          "hook MitigationControllerHook -[MitigationController CPULevel] typeMismatch q16@0:8 " +
              expectedCPULevel,
          "hook NSDictionaryHook +[NSDictionary dictionaryWithContentsOfFile:] installed  ",
          "replacement replacements -[HalvernicNoSuchClass setCPULevel:] missingClass  ",
          "replacement replacements -[HalvernicNoSuchClass CPULevel] missingClass  ",
      }));
}

TEST_F(RecorderTest, WrittenAfterStartUpAndOnceMoreWithTheFirstAppliedMode) {
  halvernic::report::Recorder recorder;
  installAll(recorder);
  EXPECT_EQ(read().status, contract::ReportReading::Status::missing) << "nothing before start-up";

  ASSERT_TRUE(recorder.startUpComplete(path_));
  contract::ReportReading reading = read();
  ASSERT_TRUE(reading.ok()) << reading.problem;
  EXPECT_EQ(reading.report.pid, getpid());
  EXPECT_EQ(reading.report.methods.size(), 6u);
  EXPECT_FALSE(reading.report.appliedMode.has_value());
  EXPECT_FALSE(recorder.startUpComplete(path_)) << "start-up completes once";

  EXPECT_TRUE(recorder.firstApplication(contract::PowerMode::lowPower));
  reading = read();
  ASSERT_TRUE(reading.ok()) << reading.problem;
  EXPECT_EQ(reading.report.appliedMode, contract::PowerMode::lowPower);
  EXPECT_EQ(reading.report.methods, recorder.current().methods);

  // Nothing after that: a later application writes nothing.
  fs::remove(path_);
  EXPECT_FALSE(recorder.firstApplication(contract::PowerMode::fullPower));
  EXPECT_FALSE(fs::exists(path_));
  EXPECT_EQ(recorder.current().appliedMode, contract::PowerMode::lowPower);
  EXPECT_EQ(log_.count("halvernic: replacements: no class HalvernicNoSuchClass"), 1u);
}

TEST_F(RecorderTest, AnApplicationBeforeStartUpCompletesIsWrittenWithTheStartUpReport) {
  halvernic::report::Recorder recorder;
  EXPECT_FALSE(recorder.firstApplication(contract::PowerMode::fullPower));
  EXPECT_FALSE(fs::exists(path_));
  installAll(recorder);
  ASSERT_TRUE(recorder.startUpComplete(path_));
  const contract::ReportReading reading = read();
  ASSERT_TRUE(reading.ok()) << reading.problem;
  EXPECT_EQ(reading.report.appliedMode, contract::PowerMode::fullPower);
  EXPECT_EQ(reading.report.methods.size(), 6u);
}

TEST_F(RecorderTest, AReportThatCannotBeWrittenIsLoggedAndChangesNothingElse) {
  halvernic::report::Recorder recorder;
  installAll(recorder);
  const std::string unwritable = base_ + "/missing-parent/com.nu-falk.halvernic/report.plist";
  EXPECT_FALSE(recorder.startUpComplete(unwritable));
  EXPECT_FALSE(recorder.firstApplication(contract::PowerMode::off));
  EXPECT_EQ(log_.count("halvernic: no report at " + unwritable + ": No such file or directory"),
            2u);
  // The skips were logged all the same, and the record is whole.
  EXPECT_EQ(log_.count("halvernic: replacements: no class HalvernicNoSuchClass"), 1u);
  EXPECT_EQ(recorder.current().methods.size(), 6u);
  EXPECT_EQ(recorder.current().appliedMode, contract::PowerMode::off);
  EXPECT_EQ(contract::readExtensionReport(unwritable).status,
            contract::ReportReading::Status::missing);
}

}  // namespace

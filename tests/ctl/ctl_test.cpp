// halvernicctl's command line, in process: the exit codes of every kind of mistake, --help,
// the shared parsers, reset against the SystemConfiguration and notify stand-ins below a
// device root of the program's own (failures injected), and stand-down answered by a
// stand-in extension.
#include <gtest/gtest.h>
#include <notify.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/objc/foundation.hpp"
#include "ctl/ctl.hpp"
#include "extension/contract/contract.hpp"
#include "extension/osthermal/platform_reset.hpp"
#include "hvplatform/notify_function.h"
#include "hvplatform/sc_testing.h"
#include "sim/device/device.hpp"

namespace {

namespace fs = std::filesystem;
namespace ctl = halvernic::ctl;
using ctl::Status;

const std::string kDeviceRoot = [] {
  std::string root = (fs::temp_directory_path() / ("hv-ctl-" + std::to_string(getpid()))).string();
  fs::create_directories(root);
  setenv("HALVERNIC_DEVICE_ROOT", root.c_str(), 1);
  unsetenv("HALVERNIC_NOTIFY_SOCKET");  // names and states inside this process
  return root;
}();
const std::string kStore =
    kDeviceRoot + "/Library/Preferences/SystemConfiguration/OSThermalStatus.plist";
const std::string kPreferences = kDeviceRoot + "/var/jb" + halvernic::contract::kPreferencesPath;

std::uint64_t runtimeWord() {
  int token = 0;
  notify_register_check(halvernic::contract::kRuntimeStateNotification, &token);
  std::uint64_t word = 0;
  notify_get_state(token, &word);
  notify_cancel(token);
  return word;
}

struct Result {
  Status status;
  std::string out, err;
};

Result run(std::vector<std::string> arguments, bool root = true) {
  std::ostringstream out, err;
  ctl::Context context{root, out, err};
  const Status status = ctl::run(arguments, context);
  return {status, out.str(), err.str()};
}

std::map<std::string, bool> store() {
  objc::AutoreleasePool pool;
  std::map<std::string, bool> values;
  objc::Ref plist = objc::readPropertyListFile(kStore);
  objc::forEachEntry(plist.get(), [&](id key, id value) {
    values[objc::toString(key)] = objc::platformBoolValue(value);
    return true;
  });
  return values;
}

void seed(const std::map<std::string, bool>& values) {
  objc::AutoreleasePool pool;
  fs::create_directories(fs::path(kStore).parent_path());
  objc::Ref dict = objc::makeMutableDictionary();
  for (const auto& [key, value] : values) {
    objc::dictionarySet(dict.get(), key, objc::boolean(value));
  }
  ASSERT_TRUE(objc::writePropertyListXmlAtomically(dict.get(), kStore));
}

std::map<std::string, bool> everythingSet() {
  std::map<std::string, bool> values{{"someoneElsesKey", true}};
  for (const auto& feature : halvernic::osthermal::kThermalStatusFeatures) {
    values[feature.flagKey] = false;
    if (feature.persistenceKey) values[feature.persistenceKey] = true;
  }
  return values;
}

std::uint64_t pressure() {
  int token = 0;
  notify_register_check("com.apple.system.thermalpressurelevel", &token);
  std::uint64_t state = 99;
  notify_get_state(token, &state);
  notify_cancel(token);
  return state;
}

class Ctl : public testing::Test {
protected:
  void SetUp() override {
    HVSCTestReset();
    fs::remove(kStore);
  }
  void TearDown() override { HVSCTestReset(); }
};

TEST_F(Ctl, MistakesOnTheCommandLineAreStatusTwoWithAMessageAndDoNothing) {
  seed(everythingSet());
  struct Case {
    std::vector<std::string> arguments;
    const char* message;
  };
  const Case cases[] = {
      {{}, "usage: halvernicctl COMMAND"},
      {{"frobnicate"}, "unknown command 'frobnicate'"},
      {{"--frobnicate"}, "unknown option '--frobnicate'"},
      {{"RESET"}, "unknown command 'RESET'"},
      {{"reset", "now"}, "reset: extra argument 'now'"},
      {{"reset", "--wait", "3"}, "reset: unknown option '--wait'"},
      {{"stand-down", "--wait"}, "--wait needs a value (SECONDS)"},
      {{"stand-down", "--wait", "abc"}, "--wait is a number from 0 to 60, not 'abc'"},
      {{"stand-down", "--wait", "-1"}, "--wait is a number from 0 to 60, not '-1'"},
      {{"stand-down", "--wait", "61"}, "not '61'"},
      {{"stand-down", "--wait", "nan"}, "not 'nan'"},
      {{"stand-down", "--wait", "1e1"}, "not '1e1'"},
      {{"stand-down", "--wait", "1.2.3"}, "not '1.2.3'"},
      {{"stand-down", "--wait", ""}, "not ''"},
      {{"stand-down", "--wait", "1", "--wait", "2"}, "--wait is given twice"},
      {{"stand-down", "x"}, "stand-down: extra argument 'x'"},
      {{"help", "frobnicate"}, "help takes one command name"},
      {{"reset", std::string("\xff\xfe", 2)}, "argument 2 is not UTF-8: '\\xFF\\xFE'"},
      {{std::string("re\xc3", 3)}, "argument 1 is not UTF-8: 're\\xC3'"},
      {{"stand-down", "--wait", std::string("\xed\xa0\x80", 3)}, "is not UTF-8"},  // a surrogate
      {{std::string("\xc0\xaf", 2)}, "is not UTF-8"},                              // overlong "/"
      {{"\x1b[31mreset"}, "unknown command '\\x1B[31mreset'"},
      {{"status", "now"}, "status: extra argument 'now'"},
      {{"status", "--jsn"}, "status: unknown option '--jsn'"},
      {{"status", "--json", "--json"}, "--json is given twice"},
      {{"status", "--json=1"}, "status: unknown option '--json=1'"},
      {{"mode"}, "mode: missing arguments (usage: halvernicctl mode off|lowPower|fullPower)"},
      {{"mode", "LowPower"}, "the mode is off, lowPower or fullPower, not 'LowPower'"},
      {{"mode", "1"}, "not '1'"},
      {{"mode", ""}, "not ''"},
      {{"mode", "native"}, "not 'native'"},
      {{"mode", "off", "now"}, "mode: extra argument 'now'"},
      {{"mode", "--json", "off"}, "mode: unknown option '--json'"},
      {{"mode", "\xef\xbc\xa6ullPower"}, "not 'ＦullPower'"},
      {{"mode", std::string("full\xffPower", 10)}, "argument 2 is not UTF-8: 'full\\xFFPower'"},
      {{"set", "preventDimming"}, "set: missing arguments (usage: halvernicctl set SWITCH on|off)"},
      {{"set"}, "set: missing arguments"},
      {{"set", "dimming", "on"}, "unknown switch 'dimming'; the switches: preventDimming"},
      {{"set", "thermalPowerMode", "on"}, "(the mode: halvernicctl mode)"},
      {{"set", "PreventDimming", "on"}, "unknown switch 'PreventDimming'"},
      {{"set", "preventDimming", "yes"}, "the value is on or off, not 'yes'"},
      {{"set", "preventDimming", "ON"}, "not 'ON'"},
      {{"set", "preventDimming", "on", "off"}, "set: extra argument 'off'"},
      {{"set", std::string("\xe6\xbb", 2), "on"}, "argument 2 is not UTF-8: '\\xE6\\xBB'"},
  };
  for (const Case& c : cases) {
    const Result result = run(c.arguments);
    std::string shown;
    for (const std::string& argument : c.arguments) shown += ctl::quoted(argument) + " ";
    EXPECT_EQ(result.status, Status::usage) << shown;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << shown << "\n" << result.err;
    EXPECT_EQ(result.out, "") << shown;
  }
  EXPECT_EQ(store(), everythingSet()) << "a mistake did something";
  EXPECT_FALSE(fs::exists(kPreferences)) << "a mistake wrote the preferences";
  EXPECT_EQ(runtimeWord(), 0u) << "a mistake published the runtime-state word";
}

TEST_F(Ctl, HelpListsTheCommandsTheExitCodesAndWhatAResetLastsFor) {
  const Result help = run({"--help"});
  EXPECT_EQ(help.status, Status::ok);
  for (const ctl::Command& command : ctl::commands()) {
    EXPECT_NE(help.out.find("  " + std::string(command.name)), std::string::npos) << command.name;
  }
  EXPECT_NE(help.out.find("lasts only until the loaded extension's next application"),
            std::string::npos);
  EXPECT_NE(help.out.find("holds only where thermalmonitord is restarted"), std::string::npos);
  EXPECT_NE(help.out.find("Exit status: 0"), std::string::npos);
  for (const std::string& line : {help.out}) {
    std::istringstream lines(line);
    for (std::string text; std::getline(lines, text);) EXPECT_LE(text.size(), 100u) << text;
  }
  EXPECT_EQ(run({"-h"}).out, help.out);
  EXPECT_EQ(run({"help"}).out, help.out);

  const Result reset = run({"reset", "--help"}, false);
  EXPECT_EQ(reset.status, Status::ok) << "help needs no root";
  EXPECT_EQ(reset.out.rfind("usage: halvernicctl reset\n", 0), 0u) << reset.out;
  EXPECT_NE(reset.out.find("is not restored, only removed"), std::string::npos);
  EXPECT_EQ(run({"help", "reset"}).out, reset.out);
  EXPECT_NE(run({"stand-down", "-h"}).out.find("usage: halvernicctl stand-down [--wait SECONDS]"),
            std::string::npos);
}

TEST_F(Ctl, ResetRemovesTheNineKeysAndPublishesNominalPressureAsRootOnly) {
  seed(everythingSet());
  const Result refused = run({"reset"}, false);
  EXPECT_EQ(refused.status, Status::failed);
  EXPECT_NE(refused.err.find("halvernicctl reset: needs root"), std::string::npos) << refused.err;
  EXPECT_EQ(store(), everythingSet());

  const Result reset = run({"reset"});
  EXPECT_EQ(reset.status, Status::ok) << reset.err;
  EXPECT_EQ(reset.err, "");
  EXPECT_NE(reset.out.find("its next application sets its\nsettings again"), std::string::npos)
      << reset.out;
  EXPECT_EQ(store(), (std::map<std::string, bool>{{"someoneElsesKey", true}}));
  EXPECT_EQ(pressure(), 0u);
  // On a store that holds none of them: nothing to do, still done.
  EXPECT_EQ(run({"reset"}).status, Status::ok);
}

TEST_F(Ctl, AFailingStoreIsStatusOneWithTheFunctionAndTheReasonAndTheOtherStepsStillRun) {
  seed(everythingSet());
  HVSCTestFailCommit(3, 3003);  // the third commit: halvernicResetThermalMitigations' first key
  const Result failed = run({"reset"});
  EXPECT_EQ(failed.status, Status::failed);
  EXPECT_NE(failed.err.find(
                "halvernicctl reset: halvernicResetThermalMitigations, thermal mitigations "
                "(engageBehavior, engageBehaviorPersistentlyEnabled): the store's commit failed "
                "(SCError 3003)"),
            std::string::npos)
      << failed.err;
  EXPECT_EQ(failed.out, "");
  EXPECT_EQ(store(),
            (std::map<std::string, bool>{{"someoneElsesKey", true}, {"engageBehavior", false}}))
      << "every other key was still removed";

  HVSCTestReset();
  HVSCTestFailCreate(100, 1001);
  const Result unavailable = run({"reset"});
  EXPECT_EQ(unavailable.status, Status::failed);
  EXPECT_NE(unavailable.err.find("SystemConfiguration is not available"), std::string::npos)
      << unavailable.err;
  EXPECT_EQ(std::count(unavailable.err.begin(), unavailable.err.end(), '\n'), 5)
      << "one line per store step";
}

// A stand-in for the loaded extension: answers each stand-down with its "pid".
struct Extension {
  explicit Extension(std::uint64_t pid) : pid(pid) {
    hv_notify_register_function(halvernic::contract::kStandDownNotification, &token, &answer, this);
  }
  ~Extension() { notify_cancel(token); }
  static void answer(int, const char*, void* context) {
    auto* self = static_cast<Extension*>(context);
    ++self->posts;
    if (self->silentPosts-- > 0) return;  // a daemon that registers late hears a later post
    int ack = 0;
    notify_register_check(halvernic::contract::kStoodDownNotification, &ack);
    notify_set_state(ack, self->pid);
    notify_post(halvernic::contract::kStoodDownNotification);
    notify_cancel(ack);
  }
  std::uint64_t pid;
  int token = 0;
  std::atomic<int> posts{0};
  std::atomic<int> silentPosts{0};
};

TEST_F(Ctl, StandDownWaitsForTheExtensionsAnswerPostingAgainMeanwhile) {
  {
    const auto start = std::chrono::steady_clock::now();
    const Result none = run({"stand-down", "--wait", "0.3"}, false);
    EXPECT_EQ(none.status, Status::failed);
    EXPECT_NE(none.err.find("no running extension answered within 0.3 s"), std::string::npos)
        << none.err;
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  }
  {
    Extension extension(4242);
    const Result answered = run({"stand-down"}, false);
    EXPECT_EQ(answered.status, Status::ok) << answered.err;
    EXPECT_EQ(answered.out,
              "thermalmonitord (pid 4242) stood down: native thermal control until it restarts.\n");
  }
  {
    // An answer left from an earlier stand-down does not count; a daemon that misses the
    // first post answers a later one.
    Extension late(77);
    late.silentPosts = 1;
    const Result answered = run({"stand-down", "--wait", "2"});
    EXPECT_EQ(answered.status, Status::ok) << answered.err;
    EXPECT_NE(answered.out.find("(pid 77)"), std::string::npos);
    EXPECT_GE(late.posts.load(), 2);
  }
}

TEST(CtlParsing, Utf8AndQuoting) {
  EXPECT_TRUE(ctl::isUTF8(""));
  EXPECT_TRUE(ctl::isUTF8("reset"));
  EXPECT_TRUE(ctl::isUTF8("满频率 模式"));
  EXPECT_TRUE(ctl::isUTF8("\xf0\x9f\x94\xa5"));        // U+1F525
  EXPECT_TRUE(ctl::isUTF8("\xf4\x8f\xbf\xbf"));        // U+10FFFF
  EXPECT_FALSE(ctl::isUTF8("\xf4\x90\x80\x80"));       // above U+10FFFF
  EXPECT_FALSE(ctl::isUTF8("\xe0\x80\xaf"));           // overlong
  EXPECT_FALSE(ctl::isUTF8("\xed\xbf\xbf"));           // surrogate
  EXPECT_FALSE(ctl::isUTF8("\xe6\xbb"));               // cut short
  EXPECT_FALSE(ctl::isUTF8(std::string("a\x80", 2)));  // a lone continuation byte
  EXPECT_EQ(ctl::quoted("满频率"), "'满频率'");
  EXPECT_EQ(ctl::quoted(std::string("a\0b\n\xff'\\", 7)), "'a\\x00b\\x0A\\xFF\\x27\\x5C'");
}

TEST(CtlParsing, ChoicesAndNumbersForTheCommandsThatTakeValues) {
  std::ostringstream out, err;
  ctl::Context context{true, out, err};
  ctl::Invocation invocation{ctl::commands()[0], context, {}, {}};
  constexpr std::string_view modes[] = {"off", "lowPower", "fullPower"};
  EXPECT_EQ(ctl::parseChoice(invocation, "the mode", "lowPower", modes), 1u);
  EXPECT_EQ(ctl::parseChoice(invocation, "the mode", "LowPower", modes), std::nullopt);
  EXPECT_NE(err.str().find("the mode is off, lowPower or fullPower, not 'LowPower'"),
            std::string::npos)
      << err.str();
  EXPECT_EQ(ctl::parseNumber(invocation, "x", "2.5", 0, 10), 2.5);
  EXPECT_EQ(ctl::parseNumber(invocation, "x", "10", 0, 10), 10.0);
  EXPECT_EQ(ctl::parseNumber(invocation, "x", ".5", 0, 10), 0.5);
  for (const char* bad : {"", ".", "+1", "-0", "0x10", "1e3", "inf", "10.0001", " 1", "1 "}) {
    EXPECT_EQ(ctl::parseNumber(invocation, "x", bad, 0, 10), std::nullopt) << bad;
  }
}

// The program on the simulated device: the device is --root DIR, else
// $HALVERNIC_DEVICE_ROOT, else the one booted last; the tool itself never sees --root.
TEST_F(Ctl, TheSimulatedDevicesProgramChoosesItsDeviceFirst) {
  namespace device = halvernic::sim::device;
  const std::string other = kDeviceRoot + "-other";
  const std::string none = kDeviceRoot + "-tmp";  // a TMPDIR where no device was booted
  fs::create_directories(other);
  fs::create_directories(none);
  auto program = [&](std::vector<std::string> arguments, std::vector<std::string> env) {
    arguments.insert(arguments.begin(), HV_HALVERNICCTL);
    // This program's environment (the sanitizers' options among it) without the device's.
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      if (entry.rfind("HALVERNIC_", 0) != 0 && entry.rfind("TMPDIR=", 0) != 0) env.push_back(entry);
    }
    env.push_back("TMPDIR=" + none);
    return device::run_bounded(arguments, env, std::chrono::seconds(30));
  };
  seed(everythingSet());
  const std::string otherStore =
      other + "/Library/Preferences/SystemConfiguration/OSThermalStatus.plist";

  // No notify daemon runs on these devices: the store is reset, the pressure fails (status 1
  // with the reason).
  const auto named = program({"--root", kDeviceRoot, "reset"}, {"HALVERNIC_DEVICE_ROOT=" + other});
  EXPECT_EQ(named.status, 1) << named.err;
  if (geteuid() == 0) {
    EXPECT_EQ(named.err,
              "halvernicctl reset: halvernicSetDarwinThermalPressure, the thermal-pressure level "
              "(nominal): notify registration failed\n");
    EXPECT_EQ(store(), (std::map<std::string, bool>{{"someoneElsesKey", true}}));
  }

  seed(everythingSet());
  const auto fromEnvironment = program({"reset"}, {"HALVERNIC_DEVICE_ROOT=" + other});
  EXPECT_EQ(fromEnvironment.status, 1) << fromEnvironment.err;
  EXPECT_EQ(store(), everythingSet()) << "the environment named another device";

  const auto nowhere = program({"reset"}, {});
  EXPECT_EQ(nowhere.status, 1);
  EXPECT_NE(nowhere.err.find("no simulated device"), std::string::npos) << nowhere.err;
  const auto missing = program({"--root", kDeviceRoot + "-missing", "reset"}, {});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("no device at"), std::string::npos) << missing.err;
  const auto noFolder = program({"--root"}, {});
  EXPECT_EQ(noFolder.status, 2);
  EXPECT_NE(noFolder.err.find("--root needs a folder"), std::string::npos) << noFolder.err;
  const auto help = program({"--help"}, {});
  EXPECT_EQ(help.status, 0) << "help needs no device";
  EXPECT_NE(help.out.find("usage: halvernicctl"), std::string::npos);
  const auto late = program({"reset", "--root", kDeviceRoot}, {});
  EXPECT_EQ(late.status, 1) << "--root is the device's only in front (else no device)";
  EXPECT_EQ(store(), everythingSet());
  fs::remove_all(other);
  fs::remove_all(none);
}

}  // namespace

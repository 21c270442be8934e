// The launchd stand-in: a job's property list as launchd reads it, and launchd's throttle.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <cmath>

#include <filesystem>
#include <fstream>

#include "common/objc/foundation.hpp"
#include "sim/launchd/launchd.hpp"

namespace {

namespace launchd = halvernic::sim::launchd;
namespace fs = std::filesystem;

TEST(LaunchdThrottle, RelaunchesAtOnceAfterTheIntervalOtherwiseWhenItHasPassedSinceTheLaunch) {
  EXPECT_DOUBLE_EQ(launchd::relaunch_delay(12.0, 10.0), 0.0) << "ran longer than the interval";
  EXPECT_DOUBLE_EQ(launchd::relaunch_delay(10.0, 10.0), 0.0) << "ran exactly the interval";
  EXPECT_DOUBLE_EQ(launchd::relaunch_delay(3.0, 10.0), 7.0) << "ten seconds after the last launch";
  EXPECT_DOUBLE_EQ(launchd::relaunch_delay(0.0, 10.0), 10.0) << "a job that dies at once";
  EXPECT_DOUBLE_EQ(launchd::relaunch_delay(-5.0, 10.0), 10.0) << "a clock that went back";
  EXPECT_DOUBLE_EQ(launchd::relaunch_delay(0.5, 0.0), 0.0) << "no throttle";
  EXPECT_DOUBLE_EQ(launchd::kDefaultThrottleInterval, 10.0);
}

class LaunchdJobs : public testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/hv-launchd-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  void write(const std::string& name, id plist) {
    ASSERT_TRUE(objc::writePropertyListXmlAtomically(plist, (dir_ / name).string()));
  }
  objc::Ref job(const char* label, std::initializer_list<const char*> arguments) {
    objc::Ref plist = objc::makeMutableDictionary();
    if (label) objc::dictionarySet(plist.get(), "Label", objc::string(label));
    objc::Ref args = objc::makeMutableArray();
    for (const char* a : arguments) objc::arrayAdd(args.get(), objc::string(a));
    objc::dictionarySet(plist.get(), "ProgramArguments", args.get());
    return plist;
  }

  objc::AutoreleasePool pool_;
  fs::path dir_;
};

TEST_F(LaunchdJobs, ReadsEveryKeyOfAJobAndLaunchdsDefaults) {
  objc::Ref full =
      job("com.apple.thermalmonitord", {"/usr/libexec/thermalmonitord", "--tick-ms", "100"});
  objc::Ref env = objc::makeMutableDictionary();
  objc::dictionarySet(env.get(), "HALVERNIC_DEVICE_ROOT", objc::string("/d"));
  objc::dictionarySet(full.get(), "EnvironmentVariables", env.get());
  objc::dictionarySet(full.get(), "KeepAlive", objc::boolean(true));
  objc::dictionarySet(full.get(), "ThrottleInterval", objc::number(2));
  objc::dictionarySet(full.get(), "StandardOutPath", objc::string("/d/out.log"));
  objc::dictionarySet(full.get(), "StandardErrorPath", objc::string("/d/err.log"));
  write("full.plist", full.get());
  std::string error;
  const auto read = launchd::read_job((dir_ / "full.plist").string(), &error);
  ASSERT_TRUE(read) << error;
  EXPECT_EQ(read->label, "com.apple.thermalmonitord");
  EXPECT_EQ(read->arguments,
            (std::vector<std::string>{"/usr/libexec/thermalmonitord", "--tick-ms", "100"}));
  EXPECT_EQ(read->environment,
            (std::vector<std::pair<std::string, std::string>>{{"HALVERNIC_DEVICE_ROOT", "/d"}}));
  EXPECT_TRUE(read->keep_alive);
  EXPECT_DOUBLE_EQ(read->throttle_interval, 2.0);
  EXPECT_EQ(read->stdout_path, "/d/out.log");
  EXPECT_EQ(read->stderr_path, "/d/err.log");

  write("bare.plist", job("bare", {"/bin/true"}).get());
  const auto bare = launchd::read_job((dir_ / "bare.plist").string(), &error);
  ASSERT_TRUE(bare);
  EXPECT_FALSE(bare->keep_alive) << "launchd does not keep a job alive unless asked";
  EXPECT_DOUBLE_EQ(bare->throttle_interval, 10.0);
}

TEST_F(LaunchdJobs, RefusesListsWithoutLabelOrProgramAndReadsTheRestInNameOrder) {
  write("b.plist", job("second", {"/bin/b"}).get());
  write("a.plist", job("first", {"/bin/a"}).get());
  write("c.plist", job(nullptr, {"/bin/c"}).get());
  write("d.plist", job("empty", {}).get());
  objc::Ref number_arg = job("numbers", {"/bin/e"});
  objc::Ref args = objc::makeMutableArray();
  objc::arrayAdd(args.get(), objc::number(1));
  objc::dictionarySet(number_arg.get(), "ProgramArguments", args.get());
  write("e.plist", number_arg.get());
  std::ofstream(dir_ / "f.plist") << "not a property list";
  std::ofstream(dir_ / "README") << "not a job";

  std::vector<std::string> errors;
  const auto jobs = launchd::read_jobs(dir_.string(), &errors);
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(jobs[0].label, "first");
  EXPECT_EQ(jobs[1].label, "second");
  ASSERT_EQ(errors.size(), 4u);
  EXPECT_NE(errors[0].find("c.plist: no Label"), std::string::npos) << errors[0];
  EXPECT_NE(errors[1].find("d.plist: no ProgramArguments"), std::string::npos) << errors[1];
  EXPECT_NE(errors[2].find("e.plist: ProgramArguments holds a value that is not a string"),
            std::string::npos);
  EXPECT_NE(errors[3].find("f.plist: not a property list dictionary"), std::string::npos)
      << errors[3];

  errors.clear();
  EXPECT_TRUE(launchd::read_jobs((dir_ / "missing").string(), &errors).empty());
  EXPECT_EQ(errors.size(), 1u);
}

TEST_F(LaunchdJobs, ThrottleIntervalsTheClockCannotHoldAreBounded) {
  struct Case {
    double asked, kept;
  } cases[] = {
      {2.5, 2.5}, {-3, 0}, {1e29, launchd::kMaxThrottleInterval}, {NAN, 10}, {INFINITY, 10}};
  for (const Case& c : cases) {
    objc::Ref plist = job("throttled", {"/bin/true"});
    objc::dictionarySet(plist.get(), "ThrottleInterval", objc::numberDouble(c.asked));
    write("throttled.plist", plist.get());
    std::string error;
    const auto read = launchd::read_job((dir_ / "throttled.plist").string(), &error);
    ASSERT_TRUE(read) << error;
    EXPECT_DOUBLE_EQ(read->throttle_interval, c.kept) << c.asked;
  }
}

// A job's log, rotated as a system log is: whole lines, at most the limit in the file and
// as much in "<file>.1", the newest kept.
TEST_F(LaunchdJobs, LogsRotateAtTheirLimitKeepingWholeLinesAndTheNewest) {
  struct Case {
    const char* what;
    std::size_t before;               // bytes in the log from an earlier run
    std::vector<const char*> writes;  // as the pipe delivers them
    bool flush;                       // the job's output ended
    const char* file;
    const char* rotated;  // "<file>.1"; nullptr: none
  } cases[] = {
      {"under the limit", 0, {"one\n", "two\n"}, false, "one\ntwo\n", nullptr},
      {"the line that would pass it starts a new file",
       0,
       {"0123456\n", "abcdefgh\n"},
       false,
       "abcdefgh\n",
       "0123456\n"},
      {"a second rotation replaces the older file",
       0,
       {"aaaaaaa\n", "bbbbbbbbb\n", "ccccccccc\n"},
       false,
       "ccccccccc\n",
       "bbbbbbbbb\n"},
      {"a line split across writes stays whole",
       0,
       {"0123456\n", "abc", "defgh\n"},
       false,
       "abcdefgh\n",
       "0123456\n"},
      {"a partial last line waits for its newline", 0, {"one\n", "tw"}, false, "one\n", nullptr},
      {"the end of the output writes it", 0, {"one\n", "tw"}, true, "one\ntw", nullptr},
      {"a line longer than the limit is cut at it",
       0,
       {"0123456789abcdefXYZ\n"},
       false,
       "XYZ\n",
       "0123456789abcdef"},
      {"a log left too large by an earlier run rotates first", 40, {"new\n"}, false, "new\n", ""},
  };
  for (const Case& c : cases) {
    const fs::path path = dir_ / "job.log";
    fs::remove(path);
    fs::remove(dir_ / "job.log.1");
    if (c.before) std::ofstream(path) << std::string(c.before, 'x');
    {
      launchd::RotatingLog log(path.string(), 16);
      for (const char* bytes : c.writes) log.write(bytes);
      if (c.flush) log.flush();
      auto read = [](const fs::path& file) {
        std::ifstream in(file);
        return std::string(std::istreambuf_iterator<char>(in), {});
      };
      EXPECT_EQ(read(path), c.file) << c.what;
      if (c.rotated && c.before == 0) {
        EXPECT_EQ(read(dir_ / "job.log.1"), c.rotated) << c.what;
      } else if (c.rotated) {
        EXPECT_EQ(fs::file_size(dir_ / "job.log.1"), c.before) << c.what;
      } else {
        EXPECT_FALSE(fs::exists(dir_ / "job.log.1")) << c.what;
      }
    }
  }
}

}  // namespace

// The build's leak suppressions hide what GNUstep Base and the Objective-C runtime keep for
// the life of the process, and nothing that this project's code allocates: a program that
// loses mutable dictionaries it made is reported, the same program releasing them is not.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/platform/process.hpp"

namespace {

namespace fs = std::filesystem;

struct ChildRun {
  int exit_code = -1;  // -1: did not end normally within the bound
  std::string report;  // what the sanitizer wrote
};

class LeakChecking : public testing::Test {
protected:
  void SetUp() override {
    char folder[] = "/tmp/hv-leak-test-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    folder_ = folder;
  }
  void TearDown() override { fs::remove_all(folder_); }

  // Runs the child with leak checking on and its sanitizer report sent to a file.
  ChildRun run(const char* mode) {
    const std::string log = (folder_ / mode).string();
    const char* saved = getenv("ASAN_OPTIONS");
    const std::string previous = saved ? saved : "";
    setenv("ASAN_OPTIONS", ("detect_leaks=1:log_path=" + log).c_str(), 1);
    hv_platform_test::Child child({HV_LEAK_CHILD, mode});
    if (saved) {
      setenv("ASAN_OPTIONS", previous.c_str(), 1);
    } else {
      unsetenv("ASAN_OPTIONS");
    }
    ChildRun result;
    if (!child.started()) return result;
    const int status = child.wait(std::chrono::seconds(60));
    if (status != -1 && WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
    for (const auto& entry : fs::directory_iterator(folder_)) {
      if (entry.path().filename().string().rfind(std::string(mode) + ".", 0) != 0) continue;
      std::ifstream in(entry.path());
      std::stringstream text;
      text << in.rdbuf();
      result.report += text.str();
    }
    return result;
  }

  fs::path folder_;
};

TEST_F(LeakChecking, FoundationObjectsLostByProjectCodeAreReportedAndNothingElseIs) {
  const ChildRun clean = run("clean");
  EXPECT_EQ(clean.exit_code, 0) << clean.report;
  EXPECT_EQ(clean.report.find("LeakSanitizer"), std::string::npos) << clean.report;

  const ChildRun leak = run("leak");
  EXPECT_NE(leak.exit_code, 0);
  EXPECT_NE(leak.report.find("ERROR: LeakSanitizer: detected memory leaks"), std::string::npos)
      << leak.report;
  // 100 dictionaries and what they hold, not a few runtime tables.
  EXPECT_NE(leak.report.find("in 100 object(s)"), std::string::npos) << leak.report;
}

}  // namespace

// The extension's report as the extension writes it and the shell tool reads it: the round
// trip, the file's folder and permissions, atomic replacement, and what the reader makes of
// missing, damaged, newer or hostile files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "common/objc/foundation.hpp"
#include "common/os/file.hpp"
#include "extension/contract/report.hpp"

namespace {

namespace fs = std::filesystem;
namespace contract = halvernic::contract;
using contract::InstallOutcome;
using contract::ReportLayer;
using Status = contract::ReportReading::Status;

contract::ReportedMethod method(ReportLayer layer, std::string owner, std::string cls,
                                std::string selector, InstallOutcome outcome,
                                bool classMethod = false) {
  contract::ReportedMethod m;
  m.layer = layer;
  m.owner = std::move(owner);
  m.className = std::move(cls);
  m.selector = std::move(selector);
  m.outcome = outcome;
  m.classMethod = classMethod;
  return m;
}

contract::ExtensionReport sampleReport() {
  contract::ExtensionReport report;
  report.version = contract::projectVersion();
  report.pid = 4242;
  report.writtenAt = 1'700'000'000;
  report.appliedMode = contract::PowerMode::fullPower;
  report.methods.push_back(method(ReportLayer::hook, "NSDictionaryHook", "NSDictionary",
                                  "dictionaryWithContentsOfFile:", InstallOutcome::installed,
                                  true));
  contract::ReportedMethod mismatch =
      method(ReportLayer::hook, "MitigationControllerHook", "MitigationController", "CPULevel",
             InstallOutcome::typeMismatch);
  mismatch.hostTypes = "q16@0:8";
  mismatch.expectedTypes = "i@:";
  report.methods.push_back(mismatch);
  report.methods.push_back(method(ReportLayer::replacement, "replacements", "ThermalManager",
                                  "thermalPressure:", InstallOutcome::missingMethod));
  report.methods.push_back(method(ReportLayer::replacement, "replacements", "CommonProduct",
                                  "setThermalState:", InstallOutcome::missingClass));
  return report;
}

class Report : public ::testing::Test {
protected:
  void SetUp() override {
    char folder[] = "/tmp/hv-report-test-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    base_ = folder;
    folder_ = base_ + "/com.nu-falk.halvernic";
    path_ = folder_ + "/report.plist";
  }
  void TearDown() override { fs::remove_all(base_); }

  static void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  // A report's property list with one change made to it, written as XML.
  void writeEdited(void (*edit)(id root)) {
    objc::AutoreleasePool pool;
    objc::Ref root = contract::reportPropertyList(sampleReport());
    edit(root.get());
    fs::create_directories(folder_);
    ASSERT_TRUE(objc::writePropertyListXmlAtomically(root.get(), path_));
  }

  std::string base_, folder_, path_;
};

TEST(ReportPath, IsThePackagesStateFolderBelowTheJailbreakRoot) {
  EXPECT_STREQ(contract::kReportPath, "/var/lib/com.nu-falk.halvernic/report.plist");
  EXPECT_EQ(std::string(contract::kReportPath).rfind(contract::kReportFolder, 0), 0u);
  const std::string resolved = contract::resolvedReportPath();
  // jbroot puts the jailbreak root (/var/jb without libroot) in front of the literal path.
  ASSERT_GT(resolved.size(), std::strlen(contract::kReportPath));
  EXPECT_EQ(resolved.substr(resolved.size() - std::strlen(contract::kReportPath)),
            contract::kReportPath);
  EXPECT_NE(resolved.find("/var/jb"), std::string::npos) << resolved;
}

TEST_F(Report, RoundTripMakesTheFolderAndGivesEveryoneReadAccessWhateverTheUmask) {
  const mode_t previous = umask(077);
  const int error = contract::writeExtensionReport(path_, sampleReport());
  umask(previous);
  ASSERT_EQ(error, 0) << std::strerror(error);

  struct stat info{};
  ASSERT_EQ(stat(folder_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0755u);
  ASSERT_EQ(stat(path_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
  EXPECT_EQ(info.st_uid, geteuid());
  // Nothing but the report is left in the folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);

  const contract::ReportReading reading = contract::readExtensionReport(path_);
  ASSERT_EQ(reading.status, Status::ok) << reading.problem;
  EXPECT_EQ(reading.report, sampleReport());
  EXPECT_EQ(reading.report.methods[0].method(), "+[NSDictionary dictionaryWithContentsOfFile:]");
  EXPECT_EQ(reading.report.methods[1].method(), "-[MitigationController CPULevel]");
  EXPECT_EQ(reading.report.count(InstallOutcome::installed), 1u);
  EXPECT_EQ(reading.report.count(InstallOutcome::missingMethod, ReportLayer::replacement), 1u);
  EXPECT_EQ(reading.report.count(InstallOutcome::missingMethod, ReportLayer::hook), 0u);

  // Apple's XML format, which plutil reads on a device.
  std::ifstream in(path_);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("<!DOCTYPE plist"), std::string::npos);
  EXPECT_NE(text.find("<key>hostTypes</key>"), std::string::npos);
}

TEST_F(Report, BeforeTheFirstApplicationThereIsNoModeAndEncodingsOnlyForMismatches) {
  contract::ExtensionReport report = sampleReport();
  report.appliedMode.reset();
  report.methods[0].hostTypes = "not written for an installed method";
  ASSERT_EQ(contract::writeExtensionReport(path_, report), 0);
  const contract::ReportReading reading = contract::readExtensionReport(path_);
  ASSERT_TRUE(reading.ok()) << reading.problem;
  EXPECT_FALSE(reading.report.appliedMode.has_value());
  EXPECT_EQ(reading.report.methods[0].hostTypes, "");
  EXPECT_EQ(reading.report.methods[1].hostTypes, "q16@0:8");
}

// The overheat protection's dictionary: a reading in °C, or "unknown"; a report without
// the dictionary (an older extension's) has none.
TEST_F(Report, TheOverheatProtectionRoundTripsWithItsReadingOrUnknown) {
  contract::ExtensionReport report = sampleReport();
  contract::OverheatReport overheat;
  overheat.enabled = true;
  overheat.engaged = true;
  overheat.batteryCentiCelsius = 5013;
  overheat.readAt = 1'700'000'123;
  report.overheat = overheat;
  ASSERT_EQ(contract::writeExtensionReport(path_, report), 0);
  contract::ReportReading reading = contract::readExtensionReport(path_);
  ASSERT_TRUE(reading.ok()) << reading.problem;
  EXPECT_EQ(reading.report.overheat, overheat);
  {
    objc::AutoreleasePool pool;
    const objc::Ref root = objc::readPropertyListFile(path_);
    id entry = objc::dictionaryGet(root.get(), contract::kReportOverheatKey);
    id celsius = objc::dictionaryGet(entry, contract::kReportBatteryTemperatureKey);
    EXPECT_TRUE(objc::isNumber(celsius) && !objc::isBoolean(celsius));
    EXPECT_DOUBLE_EQ(objc::doubleValue(celsius), 50.13) << "degrees Celsius, for people";
  }

  overheat.enabled = false;
  overheat.engaged = false;
  overheat.batteryCentiCelsius.reset();
  overheat.readAt = 0;
  report.overheat = overheat;
  ASSERT_EQ(contract::writeExtensionReport(path_, report), 0);
  {
    objc::AutoreleasePool pool;
    const objc::Ref root = objc::readPropertyListFile(path_);
    id entry = objc::dictionaryGet(root.get(), contract::kReportOverheatKey);
    EXPECT_TRUE(objc::stringEquals(
        objc::dictionaryGet(entry, contract::kReportBatteryTemperatureKey), "unknown"));
  }
  reading = contract::readExtensionReport(path_);
  ASSERT_TRUE(reading.ok());
  EXPECT_EQ(reading.report.overheat, overheat);

  report.overheat.reset();
  ASSERT_EQ(contract::writeExtensionReport(path_, report), 0);
  reading = contract::readExtensionReport(path_);
  ASSERT_TRUE(reading.ok());
  EXPECT_FALSE(reading.report.overheat.has_value());
  EXPECT_EQ(reading.report.formatVersion, 1) << "a key added, no new format";
}

TEST_F(Report, ANewReportReplacesTheOldOneWholeWhileAReaderReads) {
  contract::ExtensionReport first = sampleReport();
  contract::ExtensionReport second = sampleReport();
  second.pid = 77;
  second.methods.resize(1);
  ASSERT_EQ(contract::writeExtensionReport(path_, first), 0);

  std::atomic<bool> done{false};
  std::atomic<int> bad{0}, reads{0};
  std::thread reader([&] {
    while (!done.load()) {
      objc::AutoreleasePool pool;
      const contract::ReportReading reading = contract::readExtensionReport(path_);
      if (!reading.ok() || (reading.report != first && reading.report != second)) ++bad;
      ++reads;
    }
  });
  for (int i = 0; i < 200; ++i) {
    objc::AutoreleasePool pool;
    ASSERT_EQ(contract::writeExtensionReport(path_, i % 2 ? first : second), 0);
  }
  done = true;
  reader.join();
  EXPECT_EQ(bad.load(), 0) << "of " << reads.load() << " readings";
}

TEST_F(Report, AWriteThatCannotBeDoneSaysWhyAndLeavesNothing) {
  // A temporary file left by a process with this pid that ended while writing is no obstacle.
  fs::create_directories(folder_);
  writeBytes(folder_ + "/.report.plist." + std::to_string(getpid()) + ".tmp", "partial");
  ASSERT_EQ(contract::writeExtensionReport(path_, sampleReport()), 0);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
  fs::remove_all(folder_);

  struct Case {
    const char* what;
    void (*prepare)(const std::string& base, const std::string& folder);
    int error;
    Status reading;
  };
  const Case cases[] = {
      {"the folder's parent is missing",
       [](const std::string& base, const std::string&) { fs::remove_all(base); }, ENOENT,
       Status::missing},
      {"a file has the folder's name",
       [](const std::string&, const std::string& folder) { writeBytes(folder, "x"); }, ENOTDIR,
       Status::missing},
      {"the folder is a link to another folder",
       [](const std::string& base, const std::string& folder) {
         fs::create_directories(base + "/elsewhere");
         fs::create_directory_symlink(base + "/elsewhere", folder);
       },
       ENOTDIR, Status::missing},
  };
  for (const Case& c : cases) {
    fs::remove_all(base_);
    fs::create_directories(base_);
    c.prepare(base_, folder_);
    EXPECT_EQ(contract::writeExtensionReport(path_, sampleReport()), c.error) << c.what;
    EXPECT_EQ(contract::readExtensionReport(path_).status, c.reading) << c.what;
    if (fs::exists(base_ + "/elsewhere")) {
      EXPECT_TRUE(fs::is_empty(base_ + "/elsewhere")) << c.what << ": written through the link";
    }
  }
  // Writing straight to a folder's name is refused before anything is made.
  EXPECT_EQ(contract::writeExtensionReport(base_ + "/", sampleReport()), EINVAL);
  EXPECT_EQ(contract::writeExtensionReport("", sampleReport()), EINVAL);
}

TEST_F(Report, TheReaderSaysWhatIsWrongWithAFileItCannotUse) {
  EXPECT_EQ(contract::readExtensionReport(path_).status, Status::missing);
  EXPECT_EQ(contract::readExtensionReport(path_).problem, "no report");

  fs::create_directories(folder_);
  struct Bytes {
    const char* what;
    std::string bytes;
    Status status;
  };
  const Bytes files[] = {
      {"empty", "", Status::damaged},
      {"text", "pid 4242\n", Status::damaged},
      {"cut short", "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>pid</key>",
       Status::damaged},
      {"an array", "<plist version=\"1.0\"><array><integer>1</integer></array></plist>",
       Status::damaged},
      {"too large", std::string(contract::kMaxReportFileSize + 1, ' '), Status::unreadable},
  };
  for (const Bytes& f : files) {
    writeBytes(path_, f.bytes);
    const contract::ReportReading reading = contract::readExtensionReport(path_);
    EXPECT_EQ(reading.status, f.status) << f.what;
    EXPECT_FALSE(reading.problem.empty()) << f.what;
  }
  fs::remove(path_);
  fs::create_directory(path_);
  EXPECT_EQ(contract::readExtensionReport(path_).status, Status::unreadable) << "a folder";
  fs::remove(path_);

  struct Edit {
    const char* what;
    void (*edit)(id root);
    Status status;
  };
  const Edit edits[] = {
      {"no format version",
       [](id root) { objc::dictionaryRemove(root, contract::kReportFormatVersionKey); },
       Status::damaged},
      {"a Boolean format version",
       [](id root) {
         objc::dictionarySet(root, contract::kReportFormatVersionKey, objc::boolean(true));
       },
       Status::damaged},
      {"a fractional format version",
       [](id root) {
         objc::dictionarySet(root, contract::kReportFormatVersionKey, objc::numberDouble(1.5));
       },
       Status::damaged},
      {"a newer format",
       [](id root) {
         objc::dictionarySet(root, contract::kReportFormatVersionKey, objc::number(2));
       },
       Status::unsupportedFormat},
      {"no pid", [](id root) { objc::dictionaryRemove(root, contract::kReportPidKey); },
       Status::damaged},
      {"pid 0",
       [](id root) { objc::dictionarySet(root, contract::kReportPidKey, objc::number(0)); },
       Status::damaged},
      {"pid as text",
       [](id root) { objc::dictionarySet(root, contract::kReportPidKey, objc::string("4242")); },
       Status::damaged},
      {"no methods", [](id root) { objc::dictionaryRemove(root, contract::kReportMethodsKey); },
       Status::damaged},
      {"a method without a selector",
       [](id root) {
         id first = objc::arrayGet(objc::dictionaryGet(root, contract::kReportMethodsKey), 0);
         objc::dictionaryRemove(first, contract::kReportSelectorKey);
       },
       Status::damaged},
      {"a method of an unknown layer",
       [](id root) {
         id first = objc::arrayGet(objc::dictionaryGet(root, contract::kReportMethodsKey), 0);
         objc::dictionarySet(first, contract::kReportLayerKey, objc::string("tweak"));
       },
       Status::damaged},
      {"a method that is no dictionary",
       [](id root) {
         objc::arrayAdd(objc::dictionaryGet(root, contract::kReportMethodsKey),
                        objc::string("-[A b]"));
       },
       Status::damaged},
  };
  for (const Edit& e : edits) {
    writeEdited(e.edit);
    const contract::ReportReading reading = contract::readExtensionReport(path_);
    EXPECT_EQ(reading.status, e.status) << e.what << ": " << reading.problem;
  }
}

TEST_F(Report, FieldsANewerWriterAddsAreIgnoredAndAnUnknownOutcomeIsKeptAsUnknown) {
  writeEdited([](id root) {
    objc::dictionarySet(root, "overheatProtection", objc::string("engaged"));
    id first = objc::arrayGet(objc::dictionaryGet(root, contract::kReportMethodsKey), 0);
    objc::dictionarySet(first, contract::kReportOutcomeKey, objc::string("replacedByAnother"));
    objc::dictionarySet(first, "since", objc::number(3));
    objc::dictionarySet(root, contract::kReportAppliedModeKey, objc::string("turbo"));
  });
  const contract::ReportReading reading = contract::readExtensionReport(path_);
  ASSERT_TRUE(reading.ok()) << reading.problem;
  EXPECT_EQ(reading.report.methods.size(), sampleReport().methods.size());
  EXPECT_EQ(reading.report.methods[0].outcome, InstallOutcome::unknown);
  EXPECT_STREQ(contract::installOutcomeValue(reading.report.methods[0].outcome), "unknown");
  EXPECT_FALSE(reading.report.appliedMode.has_value()) << "a mode that is none of the three";
  EXPECT_EQ(reading.report.methods[1], sampleReport().methods[1]);
}

}  // namespace

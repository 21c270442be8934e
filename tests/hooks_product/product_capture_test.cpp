// The capture on -[CommonProduct initProduct:]: the product the daemon creates reaches the
// engine, which applies the policy at once and again after a quarter of a second; an
// initialiser that fails leaves the engine with the product it had.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "common/objc/foundation.hpp"
#include "common/objc/swizzle.hpp"
#include "extension/hooking/host.hpp"
#include "extension/policy/power_helper.hpp"
#include "sim/sim.hpp"
#include "tests/hooks_product/fixture.hpp"
#include "tests/support/log_capture.hpp"

namespace {

namespace host = halvernic::host;
namespace sim = halvernic::sim;

constinit objc::Selector kAlloc{"alloc"};

// The daemon's initialiser, failing as a Cocoa initialiser does (releasing the receiver
// and answering nil) for the configuration "fail".
IMP g_host_init_product = nullptr;
id failing_or_host_init(id self, SEL cmd, id configuration) {
  if (objc::stringEquals(configuration, "fail")) {
    objc::release(self);
    return nullptr;
  }
  return host::kInitProduct.call(g_host_init_product, self, configuration);
}

id new_product(id configuration) {
  id allocated = objc::send<id>(host::kCommonProduct.get(), kAlloc);
  return host::kInitProduct.send(allocated, configuration);  // +1
}

class Capture : public testing::Test {
protected:
  static void SetUpTestSuite() {
    hv_hooks_test::device_root();
    sim::register_classes();
    g_host_init_product =
        objc::replaceInstanceMethod(host::kCommonProduct.get(), host::kInitProduct.get(),
                                    reinterpret_cast<IMP>(&failing_or_host_init));
    ASSERT_NE(g_host_init_product, nullptr);
    ASSERT_EQ(hv_hooks_test::install_product_hooks(), 11u);
  }
  void SetUp() override {
    HPowerHepler::shared().resetForTesting();
    sim::clear_calls();
  }
  hv_test::LogCapture log_;
};

TEST_F(Capture, TheNewProductIsAppliedAtOnceAndAgainLater) {
  hv_hooks_test::write_preferences({{"thermalPowerMode", objc::string("fullPower")}});
  objc::AutoreleasePool pool;
  const std::string applied = "halvernic: full power mode";

  const auto start = std::chrono::steady_clock::now();
  objc::Ref first = objc::Ref::adopt(new_product(objc::string("configuration")));
  ASSERT_TRUE(first);
  EXPECT_EQ(HPowerHepler::shared().commonProductObject().get(), first.get());
  // The host ran first, then the engine forced the captured product.
  EXPECT_EQ(sim::call_texts({"initProduct:", "putDeviceInThermalSimulationMode:",
                             "putDeviceInLowTempSimulationMode:"}),
            (std::vector<std::string>{"initProduct: configuration",
                                      "putDeviceInThermalSimulationMode: nominal",
                                      "putDeviceInLowTempSimulationMode: nominal"}));
  EXPECT_EQ(sim::product_state(first.get()).thermal_simulation_mode, "nominal");
  EXPECT_EQ(log_.count(applied), 1u);

  while (log_.count(applied) < 2 &&
         std::chrono::steady_clock::now() - start < std::chrono::seconds(3)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(log_.count(applied), 2u) << "the first re-application is due after 0.25 s";
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));

  // A second product replaces the first.
  objc::Ref second = objc::Ref::adopt(new_product(nullptr));
  EXPECT_EQ(HPowerHepler::shared().commonProductObject().get(), second.get());
}

TEST_F(Capture, AFailedInitialiserKeepsThePreviousProduct) {
  hv_hooks_test::write_preferences({});
  objc::AutoreleasePool pool;
  objc::Ref kept = objc::Ref::adopt(new_product(nullptr));
  ASSERT_TRUE(kept);
  // The receiver is gone when the initialiser answers nil: the engine must not hold it.
  EXPECT_EQ(new_product(objc::string("fail")), nullptr);
  EXPECT_EQ(HPowerHepler::shared().commonProductObject().get(), kept.get());
  EXPECT_EQ(sim::call_count("initProduct:"), 1u) << "the failing initialiser is the test's own";
}

}  // namespace

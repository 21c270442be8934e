// The exported functions in a process where SystemConfiguration is not loaded (and neither
// is the platform's thermal-pressure name): every store function answers 1001, while the
// notify functions keep working.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <vector>

#include "extension/contract/contract.hpp"
#include "extension/osthermal/osthermal.h"
#include "tests/osthermal/notify_probe.hpp"

namespace {

const bool kInProcessNotify = [] {
  unsetenv("HALVERNIC_NOTIFY_SOCKET");
  return true;
}();

TEST(WithoutSystemConfiguration, EveryStoreFunctionAnswers1001) {
  ASSERT_EQ(dlsym(RTLD_DEFAULT, "SCPreferencesCreate"), nullptr)
      << "SystemConfiguration must be absent";
  ASSERT_NE(dlsym(RTLD_DEFAULT, "CFRelease"), nullptr);
  const std::vector<std::function<int32_t()>> calls = {
      [] { return halvernicSetOSNotifEnabled(0, 1); },
      halvernicSetOSNotifNative,
      halvernicResetOSNotifEnabled,
      [] { return halvernicSetThermalMitigationsEnabled(0, 1); },
      halvernicSetThermalMitigationsNative,
      halvernicResetThermalMitigations,
      [] { return halvernicSetHIPEnabled(0, 1); },
      halvernicSetHIPNative,
      [] { return halvernicSetSimulateHIPEnabled(1); },
      halvernicResetHIP,
      halvernicResetSimulateHIP,
      [] { return halvernicSetSunlightOverride(1, 1); },
      halvernicResetSunlightOverride,
  };
  for (std::size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(calls[i](), 1001) << "call " << i;
}

TEST(WithoutSystemConfiguration, NotifyFunctionsStillWorkAndPressureUsesTheLiteralName) {
  ASSERT_EQ(dlsym(RTLD_DEFAULT, "kOSThermalNotificationPressureLevelName"), nullptr);
  hv_test::NotifyState pressure("com.apple.system.thermalpressurelevel");
  ASSERT_TRUE(pressure.ok());
  EXPECT_EQ(halvernicSetDarwinThermalPressure(4), 0);
  EXPECT_EQ(pressure.get(), 40u);

  hv_test::NotifyState word(halvernic::contract::kRuntimeStateNotification);
  word.set(halvernic::contract::encodeRuntimeState(1, 2));
  int32_t first = 0, second = 0;
  EXPECT_EQ(halvernicGetRuntimeState(&first, &second), 0);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 2);
}

}  // namespace

// The announcements every writer makes: the runtime-state word's publication, step by step
// with each step made to fail in turn, and a Darwin post as a notify observer sees it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <notify.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/objc/foundation.hpp"
#include "extension/contract/announce.hpp"
#include "extension/contract/contract.hpp"
#include "hvplatform/notify_function.h"

namespace {

// The notify calls made for the runtime-state name, in order; one step can be made to fail.
std::vector<std::string> g_calls;
std::string g_fail;  // "register", "set", "post" or ""
constexpr uint32_t kInjected = NOTIFY_STATUS_FAILED;

template <class Fn>
Fn real(const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

bool watched(const char* name) {
  return std::string(name) == halvernic::contract::kRuntimeStateNotification;
}

int g_watched_token = -1;

}  // namespace

extern "C" uint32_t notify_register_check(const char* name, int* out_token) {
  static const auto next = real<uint32_t (*)(const char*, int*)>("notify_register_check");
  if (!watched(name)) return next(name, out_token);
  g_calls.push_back("register");
  if (g_fail == "register") return kInjected;
  const uint32_t status = next(name, out_token);
  g_watched_token = *out_token;
  return status;
}

extern "C" uint32_t notify_set_state(int token, uint64_t state) {
  static const auto next = real<uint32_t (*)(int, uint64_t)>("notify_set_state");
  if (token != g_watched_token) return next(token, state);
  g_calls.push_back("set " + std::to_string(state));
  if (g_fail == "set") return kInjected;
  return next(token, state);
}

extern "C" uint32_t notify_post(const char* name) {
  static const auto next = real<uint32_t (*)(const char*)>("notify_post");
  if (!watched(name)) return next(name);
  g_calls.push_back("post");
  if (g_fail == "post") return kInjected;
  return next(name);
}

extern "C" uint32_t notify_cancel(int token) {
  static const auto next = real<uint32_t (*)(int)>("notify_cancel");
  if (token == g_watched_token) {
    g_calls.push_back("cancel");
    g_watched_token = -1;
  }
  return next(token);
}

namespace {

namespace contract = halvernic::contract;
using Step = contract::RuntimeStatePublication::Step;

// The state of the runtime-state name as any reader finds it (a registration of its own,
// past the fake).
uint64_t stored_word() {
  static const auto next = real<uint32_t (*)(const char*, int*)>("notify_register_check");
  int token = 0;
  EXPECT_EQ(next(contract::kRuntimeStateNotification, &token), NOTIFY_STATUS_OK);
  uint64_t word = 0;
  EXPECT_EQ(notify_get_state(token, &word), NOTIFY_STATUS_OK);
  notify_cancel(token);
  return word;
}

TEST(RuntimeStatePublication, EachStepThatFailsStopsWhatDependsOnItAndTheTokenIsAlwaysCancelled) {
  const uint64_t word = contract::encodeRuntimeState(0x12, 0x34);
  const std::string set = "set " + std::to_string(word);
  struct Case {
    const char* fail;
    std::vector<std::string> calls;
    bool published;
    Step failed;
  };
  const Case cases[] = {
      {"", {"register", set, "post", "cancel"}, true, Step::post},
      {"register", {"register"}, false, Step::registration},
      // A state that was not set is not announced.
      {"set", {"register", set, "cancel"}, false, Step::setState},
      {"post", {"register", set, "post", "cancel"}, false, Step::post},
  };
  for (const Case& c : cases) {
    g_calls.clear();
    g_fail = c.fail;
    const contract::RuntimeStatePublication result = contract::publishRuntimeState(word);
    g_fail.clear();
    EXPECT_EQ(g_calls, c.calls) << "failing: " << c.fail;
    EXPECT_EQ(result.published(), c.published) << c.fail;
    EXPECT_EQ(result.status, c.published ? NOTIFY_STATUS_OK : kInjected) << c.fail;
    if (!c.published) EXPECT_EQ(result.failed, c.failed) << c.fail;
  }
}

TEST(RuntimeStatePublication, TheWordStaysWithTheNameForEveryReader) {
  g_calls.clear();
  ASSERT_TRUE(contract::publishRuntimeState(contract::encodeRuntimeState(7, 9)).published());
  EXPECT_EQ(stored_word(), 0x48414C5600000709ull);
  ASSERT_TRUE(contract::publishRuntimeState().published());
  EXPECT_EQ(stored_word(), contract::kPublishedRuntimeState);
}

// What a notify observer hears: the names in delivery order.
struct Heard {
  std::mutex mutex;
  std::vector<std::string> names;
  static void on_post(int, const char* name, void* context) {
    auto* self = static_cast<Heard*>(context);
    std::lock_guard lock(self->mutex);
    self->names.push_back(name);
  }
};

TEST(DarwinPost, AReceiverHearsTheNameOnce) {
  constexpr char kName[] = "hv-test.contract.darwin-post";
  constexpr char kLast[] = "hv-test.contract.last";
  Heard heard;
  int tokens[2] = {};
  ASSERT_EQ(hv_notify_register_function(kName, &tokens[0], &Heard::on_post, &heard),
            NOTIFY_STATUS_OK);
  ASSERT_EQ(hv_notify_register_function(kLast, &tokens[1], &Heard::on_post, &heard),
            NOTIFY_STATUS_OK);
  {
    objc::AutoreleasePool pool;
    contract::postDarwinNotification(kName, objc::string("a sender"));
  }
  // Posts are delivered in the order they were made: once the last is heard, so is all else.
  notify_post(kLast);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  std::vector<std::string> names;
  for (;;) {
    {
      std::lock_guard lock(heard.mutex);
      names = heard.names;
    }
    if ((!names.empty() && names.back() == kLast) || std::chrono::steady_clock::now() > deadline) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  for (int token : tokens) notify_cancel(token);
  EXPECT_EQ(names, (std::vector<std::string>{kName, kLast}));
}

}  // namespace

// notify across real processes through hv-notifyd. The suite starts its own daemon on a
// socket in a fresh folder and kills it at the end.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>
#include <notify.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>

#include "hvplatform/environment.h"
#include "hvplatform/notify_function.h"
#include "tests/platform/process.hpp"
#include "tests/platform/waiting.hpp"

namespace {

using hv_platform_test::Child;
using hv_platform_test::Recorder;
using namespace std::chrono_literals;

void record(int, const char* name, void* context) { static_cast<Recorder*>(context)->add(name); }

class NotifyDaemon : public testing::Test {
protected:
  static void SetUpTestSuite() {
    char folder[] = "/tmp/hv-notifyd-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    folder_ = new std::string(folder);
    socket_ = new std::string(*folder_ + "/notifyd.socket");
    setenv(HV_ENV_NOTIFY_SOCKET, socket_->c_str(), 1);
    start_daemon();
  }
  static void TearDownTestSuite() {
    delete daemon_;
    daemon_ = nullptr;
    std::filesystem::remove_all(*folder_);
  }
  static void start_daemon() {
    delete daemon_;
    daemon_ = new Child({HV_NOTIFYD_PATH, "--socket", *socket_});
    ASSERT_TRUE(daemon_->started());
    ASSERT_TRUE(hv_platform_test::wait_for_socket(*socket_, 10s));
  }

  static std::string* folder_;
  static std::string* socket_;
  static Child* daemon_;
};
std::string* NotifyDaemon::folder_ = nullptr;
std::string* NotifyDaemon::socket_ = nullptr;
Child* NotifyDaemon::daemon_ = nullptr;

TEST_F(NotifyDaemon, TwoProcessesExchangeANotificationAndAState) {
  ASSERT_EQ(hv_notify_uses_daemon(), 1);
  Recorder recorder;
  int ready = 0, pong = 0;
  ASSERT_EQ(hv_notify_register_function("hv.e2e.ready", &ready, record, &recorder),
            NOTIFY_STATUS_OK);
  ASSERT_EQ(hv_notify_register_function("hv.e2e.pong", &pong, record, &recorder), NOTIFY_STATUS_OK);

  int ping = 0;
  ASSERT_EQ(notify_register_check("hv.e2e.ping", &ping), NOTIFY_STATUS_OK);
  uint64_t state = 99;
  ASSERT_EQ(notify_get_state(ping, &state), NOTIFY_STATUS_OK);
  EXPECT_EQ(state, 0u) << "a name never set has state 0";

  Child peer({HV_NOTIFY_PEER_PATH, "echo"});
  ASSERT_TRUE(peer.started());
  ASSERT_TRUE(recorder.wait_for(1)) << "the peer never said it was ready";
  ASSERT_EQ(notify_set_state(ping, 41), NOTIFY_STATUS_OK);
  ASSERT_EQ(notify_post("hv.e2e.ping"), NOTIFY_STATUS_OK);
  ASSERT_TRUE(recorder.wait_for(2)) << "no answer from the peer";
  EXPECT_EQ(recorder.entries(), (std::vector<std::string>{"hv.e2e.ready", "hv.e2e.pong"}));

  int reader = 0;
  ASSERT_EQ(notify_register_check("hv.e2e.pong", &reader), NOTIFY_STATUS_OK);
  ASSERT_EQ(notify_get_state(reader, &state), NOTIFY_STATUS_OK);
  EXPECT_EQ(state, 42u) << "the peer's state did not reach this process";
  const int status = peer.wait(10s);
  ASSERT_NE(status, -1);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  for (int token : {ready, pong, ping, reader}) notify_cancel(token);
}

TEST_F(NotifyDaemon, PostsOfOneSenderArriveInOrderAtEveryObserver) {
  Recorder first, second;
  std::vector<int> tokens(6);
  const char* names[] = {"hv.e2e.order.a", "hv.e2e.order.b", "hv.e2e.order.c"};
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(hv_notify_register_function(names[i], &tokens[i], record, &first), NOTIFY_STATUS_OK);
    ASSERT_EQ(hv_notify_register_function(names[i], &tokens[3 + i], record, &second),
              NOTIFY_STATUS_OK);
  }
  constexpr int kPosts = 300;
  std::vector<std::string> expected;
  for (int i = 0; i < kPosts; ++i) expected.push_back(names[(i * 7 + i / 3) % 3]);

  Child peer({HV_NOTIFY_PEER_PATH, "burst", std::to_string(kPosts)});
  ASSERT_TRUE(peer.started());
  ASSERT_TRUE(first.wait_for(kPosts));
  ASSERT_TRUE(second.wait_for(kPosts));
  EXPECT_EQ(first.entries(), expected);
  EXPECT_EQ(second.entries(), expected);
  const int status = peer.wait(10s);
  EXPECT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  // A cancelled registration hears nothing more; the other one still does.
  notify_cancel(tokens[0]);
  ASSERT_EQ(notify_post(names[0]), NOTIFY_STATUS_OK);
  ASSERT_TRUE(second.wait_for(kPosts + 1));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(first.size(), static_cast<std::size_t>(kPosts));
  for (int i = 1; i < 6; ++i) notify_cancel(tokens[i]);
}

TEST_F(NotifyDaemon, TheDaemonOutlivesAClientThatCrashes) {
  Recorder recorder;
  int ready = 0;
  ASSERT_EQ(hv_notify_register_function("hv.e2e.crash.ready", &ready, record, &recorder),
            NOTIFY_STATUS_OK);
  Child peer({HV_NOTIFY_PEER_PATH, "crash"});
  ASSERT_TRUE(recorder.wait_for(1));
  const int status = peer.wait(10s);
  ASSERT_NE(status, -1);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT) << status;

  // Posts to the dead client's name, then ordinary traffic: all answered.
  for (int i = 0; i < 200; ++i) ASSERT_EQ(notify_post("hv.e2e.crash"), NOTIFY_STATUS_OK);
  int token = 0;
  uint64_t state = 0;
  ASSERT_EQ(notify_register_check("hv.e2e.crash.state", &token), NOTIFY_STATUS_OK);
  ASSERT_EQ(notify_set_state(token, 7), NOTIFY_STATUS_OK);
  ASSERT_EQ(notify_get_state(token, &state), NOTIFY_STATUS_OK);
  EXPECT_EQ(state, 7u);
  notify_cancel(token);
  notify_cancel(ready);
}

TEST_F(NotifyDaemon, AClientOfAGoneDaemonGetsAnErrorAtOnceAndRecoversWhenItIsBack) {
  Recorder recorder;
  int watcher = 0, checker = 0;
  ASSERT_EQ(hv_notify_register_function("hv.e2e.back", &watcher, record, &recorder),
            NOTIFY_STATUS_OK);
  ASSERT_EQ(notify_register_check("hv.e2e.back", &checker), NOTIFY_STATUS_OK);

  daemon_->kill(SIGKILL);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(notify_post("hv.e2e.back"), NOTIFY_STATUS_SERVER_NOT_FOUND);
  uint64_t state = 5;
  EXPECT_EQ(notify_get_state(checker, &state), NOTIFY_STATUS_SERVER_NOT_FOUND);
  EXPECT_EQ(state, 5u) << "a failed read changed the caller's state";
  EXPECT_EQ(notify_set_state(checker, 1), NOTIFY_STATUS_SERVER_NOT_FOUND);
  int token = 0;
  EXPECT_EQ(notify_register_check("hv.e2e.other", &token), NOTIFY_STATUS_SERVER_NOT_FOUND);
  CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                       CFSTR("hv.e2e.back"), nullptr, nullptr, TRUE);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s)
      << "calls waited for a daemon that is gone";

  // A new daemon: the process's registrations are watched again.
  start_daemon();
  ASSERT_EQ(notify_post("hv.e2e.back"), NOTIFY_STATUS_OK);
  ASSERT_TRUE(recorder.wait_for(1));
  EXPECT_EQ(recorder.entries(), std::vector<std::string>{"hv.e2e.back"});
  ASSERT_EQ(notify_get_state(checker, &state), NOTIFY_STATUS_OK);
  EXPECT_EQ(state, 0u);
  notify_cancel(watcher);
  notify_cancel(checker);
}

// A process that only listens makes no request of its own that would connect again: its
// connection is made again in the background, as libnotify re-registers after notifyd
// restarts, so another process's posts reach it.
TEST_F(NotifyDaemon, AListenerHearsPostsAgainAfterTheDaemonRestartsWithoutARequestOfItsOwn) {
  Recorder recorder;
  int a = 0, b = 0, c = 0;
  ASSERT_EQ(hv_notify_register_function("hv.e2e.order.a", &a, record, &recorder), NOTIFY_STATUS_OK);
  ASSERT_EQ(hv_notify_register_function("hv.e2e.order.b", &b, record, &recorder), NOTIFY_STATUS_OK);
  ASSERT_EQ(hv_notify_register_function("hv.e2e.order.c", &c, record, &recorder), NOTIFY_STATUS_OK);
  daemon_->kill(SIGKILL);
  start_daemon();
  bool heard = false;
  for (int attempt = 0; attempt < 30 && !heard; ++attempt) {
    Child peer({HV_NOTIFY_PEER_PATH, "burst", "1"});
    ASSERT_TRUE(peer.started());
    ASSERT_NE(peer.wait(10s), -1);
    heard = recorder.wait_for(1, 100ms);
  }
  EXPECT_TRUE(heard) << "the listener never connected to the new daemon";
  for (int token : {a, b, c}) notify_cancel(token);
}

TEST_F(NotifyDaemon, ADaemonThatStopsAnsweringCostsABoundedWait) {
  int token = 0;
  ASSERT_EQ(notify_register_check("hv.e2e.stopped", &token), NOTIFY_STATUS_OK);
  daemon_->kill(SIGSTOP);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(notify_set_state(token, 3), NOTIFY_STATUS_SERVER_NOT_FOUND);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);
  daemon_->kill(SIGCONT);
  uint64_t state = 0;
  EXPECT_EQ(notify_get_state(token, &state), NOTIFY_STATUS_OK) << "no reconnection after the stall";
  notify_cancel(token);
}

}  // namespace

// A notify client's connection to hv-notifyd: synchronous requests (one at a time, each
// answered) and a reader thread that hands posted names to an event sink. A daemon that
// has gone away turns every request into NOTIFY_STATUS_SERVER_NOT_FOUND at once; a daemon
// that stops answering does so after a bounded wait. The next request tries to connect
// again and, when it can, watches the names again; and, as libnotify does when notifyd
// restarts, a connection the daemon ended is made again in the background (every
// kReconnectPeriod) so that a process that only listens hears posts again.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/notify/protocol.hpp"

namespace hv::notify {

class Connection {
public:
  using EventSink = std::function<void(std::string_view name)>;
  using WatchList = std::function<std::vector<std::string>()>;

  Connection(std::string socket_path, EventSink sink, WatchList watched);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Sends one request and waits for its answer; the daemon's status, or
  // NOTIFY_STATUS_SERVER_NOT_FOUND when there is no daemon to answer.
  std::uint32_t request(Op op, std::string_view name, std::uint64_t value = 0,
                        std::uint64_t* out_value = nullptr);

private:
  bool connect_locked();
  void disconnect_locked();
  void give_up_locked();
  std::uint32_t exchange_locked(Op op, std::string_view name, std::uint64_t value,
                                std::uint64_t* out_value);
  void read_loop(int fd);
  void reconnect_loop();

  const std::string socket_path_;
  const EventSink sink_;
  const WatchList watched_;

  std::mutex request_mutex_;  // one request at a time; guards fd_, next_seq_
  int fd_ = -1;
  std::uint32_t next_seq_ = 0;

  std::mutex state_mutex_;  // guards what the reader thread shares
  std::condition_variable reply_cv_;
  bool alive_ = false;
  bool reader_running_ = false;
  std::uint32_t awaited_seq_ = 0;
  bool reply_ready_ = false;
  std::uint32_t reply_status_ = 0;
  std::uint64_t reply_value_ = 0;
  bool closing_ = false;   // this side is ending the connection
  bool lost_ = false;      // the daemon ended it: reconnect in the background
  bool stopping_ = false;  // the destructor runs
  std::condition_variable reconnect_cv_;
  std::thread reconnector_;  // started with the first connection
};

}  // namespace hv::notify

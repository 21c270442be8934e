#include "platform/notify/connection.hpp"

#include <notify.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace hv::notify {
namespace {

// How long a request waits for a daemon that is connected but does not answer.
constexpr std::chrono::seconds kReplyTimeout{5};
// How often a connection the daemon ended is tried again.
constexpr std::chrono::milliseconds kReconnectPeriod{100};

}  // namespace

Connection::Connection(std::string socket_path, EventSink sink, WatchList watched)
    : socket_path_(std::move(socket_path)), sink_(std::move(sink)), watched_(std::move(watched)) {}

Connection::~Connection() {
  {
    std::lock_guard<std::mutex> state(state_mutex_);
    stopping_ = true;
  }
  reconnect_cv_.notify_all();
  if (reconnector_.joinable()) reconnector_.join();
  std::lock_guard<std::mutex> lock(request_mutex_);
  disconnect_locked();
}

void Connection::reconnect_loop() {
  std::unique_lock<std::mutex> state(state_mutex_);
  for (;;) {
    reconnect_cv_.wait_for(state, kReconnectPeriod, [this] { return stopping_; });
    if (stopping_) return;
    if (!lost_ || alive_) continue;
    state.unlock();
    {
      std::lock_guard<std::mutex> lock(request_mutex_);
      bool alive;
      {
        std::lock_guard<std::mutex> check(state_mutex_);
        alive = alive_;
      }
      // A request may have connected meanwhile; otherwise try now (and again later).
      if (!alive) connect_locked();
    }
    state.lock();
  }
}

std::uint32_t Connection::request(Op op, std::string_view name, std::uint64_t value,
                                  std::uint64_t* out_value) {
  std::lock_guard<std::mutex> lock(request_mutex_);
  bool alive;
  {
    std::lock_guard<std::mutex> state(state_mutex_);
    alive = alive_;
  }
  if (!alive && !connect_locked()) return NOTIFY_STATUS_SERVER_NOT_FOUND;
  return exchange_locked(op, name, value, out_value);
}

bool Connection::connect_locked() {
  disconnect_locked();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socket_path_.empty() || socket_path_.size() >= sizeof(address.sun_path)) return false;
  socket_path_.copy(address.sun_path, socket_path_.size());

  int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  {
    std::lock_guard<std::mutex> state(state_mutex_);
    alive_ = true;
    reader_running_ = true;
    closing_ = false;
    lost_ = false;
  }
  if (!reconnector_.joinable()) reconnector_ = std::thread([this] { reconnect_loop(); });
  // Detached: a reader whose daemon went away ends on its own; disconnect_locked waits
  // for it through reader_running_.
  std::thread([this, fd] { read_loop(fd); }).detach();
  // A fresh connection knows nothing of this process: watch its names again.
  for (const std::string& name : watched_()) {
    if (exchange_locked(Op::kWatch, name, 0, nullptr) != NOTIFY_STATUS_OK) return false;
  }
  return true;
}

void Connection::disconnect_locked() {
  if (fd_ < 0) return;
  {
    std::lock_guard<std::mutex> state(state_mutex_);
    closing_ = true;
  }
  ::shutdown(fd_, SHUT_RDWR);  // wakes the reader
  {
    std::unique_lock<std::mutex> state(state_mutex_);
    reply_cv_.wait(state, [this] { return !reader_running_; });
    alive_ = false;
  }
  ::close(fd_);
  fd_ = -1;
}

std::uint32_t Connection::exchange_locked(Op op, std::string_view name, std::uint64_t value,
                                          std::uint64_t* out_value) {
  if (name.size() > kMaxNameLength) return NOTIFY_STATUS_INVALID_NAME;
  Message message;
  message.header.op = static_cast<std::uint32_t>(op);
  message.header.seq = ++next_seq_;
  message.header.value = value;
  message.set_name(name);
  {
    std::lock_guard<std::mutex> state(state_mutex_);
    if (!alive_) return NOTIFY_STATUS_SERVER_NOT_FOUND;
    awaited_seq_ = message.header.seq;
    reply_ready_ = false;
  }
  ssize_t sent;
  do {
    sent = ::send(fd_, &message, message.size(), MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  if (sent != static_cast<ssize_t>(message.size())) {
    give_up_locked();
    return NOTIFY_STATUS_SERVER_NOT_FOUND;
  }
  std::unique_lock<std::mutex> state(state_mutex_);
  if (!reply_cv_.wait_for(state, kReplyTimeout, [this] { return reply_ready_ || !alive_; })) {
    // Connected but silent: give the connection up rather than wait without end.
    state.unlock();
    give_up_locked();
    return NOTIFY_STATUS_SERVER_NOT_FOUND;
  }
  if (!reply_ready_) return NOTIFY_STATUS_SERVER_NOT_FOUND;
  if (out_value) *out_value = reply_value_;
  return reply_status_;
}

void Connection::give_up_locked() {
  // The next request connects afresh (disconnect_locked collects the reader then).
  ::shutdown(fd_, SHUT_RDWR);
  std::lock_guard<std::mutex> state(state_mutex_);
  alive_ = false;
}

void Connection::read_loop(int fd) {
  Message message;
  for (;;) {
    ssize_t n = ::recv(fd, &message, sizeof(message), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || !message.well_formed(static_cast<std::size_t>(n))) break;
    switch (static_cast<Op>(message.header.op)) {
      case Op::kReply: {
        std::lock_guard<std::mutex> state(state_mutex_);
        if (message.header.seq == awaited_seq_) {
          reply_status_ = message.header.status;
          reply_value_ = message.header.value;
          reply_ready_ = true;
          reply_cv_.notify_all();
        }
        break;
      }
      case Op::kEvent: sink_(message.name_view()); break;
      default: break;
    }
  }
  std::lock_guard<std::mutex> state(state_mutex_);
  alive_ = false;
  reader_running_ = false;
  if (!closing_) lost_ = true;
  reply_cv_.notify_all();
}

}  // namespace hv::notify

// hv-notifyd: the notify service of the simulated device. Keeps every name's 64-bit state
// and sends each post to every client watching the name, in the order the posts arrive.
// One thread, one poll loop; a client that crashes or stops reading is dropped, never
// waited for.
//
//   hv-notifyd [--socket PATH]
//
// PATH defaults to $HALVERNIC_NOTIFY_SOCKET, else
// $HALVERNIC_DEVICE_ROOT/var/run/hv-notifyd.socket. SIGTERM or SIGINT ends the daemon and
// removes the socket.
#include <fcntl.h>
#include <notify.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "hvplatform/environment.h"
#include "platform/notify/protocol.hpp"

namespace {

using hv::notify::Message;
using hv::notify::Op;

// A client that lets this many messages pile up unread is dropped.
constexpr std::size_t kMaxQueuedMessages = 65536;

int stop_pipe[2] = {-1, -1};

void request_stop(int) {
  const char byte = 1;
  [[maybe_unused]] ssize_t ignored = ::write(stop_pipe[1], &byte, 1);
}

struct Client {
  int fd;
  std::unordered_set<std::string> watched;
  std::deque<std::string> outbox;  // whole messages not yet sent
  bool dropped = false;
};

class Daemon {
public:
  explicit Daemon(int listen_fd) : listen_fd_(listen_fd) {}

  void run() {
    for (;;) {
      std::vector<pollfd> fds;
      fds.push_back({stop_pipe[0], POLLIN, 0});
      fds.push_back({listen_fd_, POLLIN, 0});
      for (const auto& client : clients_) {
        short events = POLLIN;
        if (!client->outbox.empty()) events |= POLLOUT;
        fds.push_back({client->fd, events, 0});
      }
      if (::poll(fds.data(), fds.size(), -1) < 0) {
        if (errno == EINTR) continue;
        std::perror("hv-notifyd: poll");
        return;
      }
      if (fds[0].revents) return;
      if (fds[1].revents & POLLIN) accept_clients();
      // fds[2 + i] belongs to clients_[i] as it was before this round's accepts.
      for (std::size_t i = 2; i < fds.size(); ++i) {
        Client& client = *clients_[i - 2];
        if (client.dropped) continue;
        if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) read_requests(client);
        if (!client.dropped && (fds[i].revents & POLLOUT)) flush(client);
      }
      std::erase_if(clients_, [](const std::unique_ptr<Client>& client) {
        if (!client->dropped) return false;
        ::close(client->fd);
        return true;
      });
    }
  }

private:
  void accept_clients() {
    for (;;) {
      int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) return;  // EAGAIN: no more waiting
      clients_.push_back(std::make_unique<Client>(Client{fd, {}, {}}));
    }
  }

  void read_requests(Client& client) {
    Message message;
    for (;;) {
      ssize_t n = ::recv(client.fd, &message, sizeof(message), 0);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
      if (n <= 0 || !message.well_formed(static_cast<std::size_t>(n))) {
        client.dropped = true;  // gone, or not speaking the protocol
        return;
      }
      handle(client, message);
      if (client.dropped) return;
    }
  }

  void handle(Client& client, const Message& request) {
    const std::string name(request.name_view());
    Message reply;
    reply.header.op = static_cast<std::uint32_t>(Op::kReply);
    reply.header.seq = request.header.seq;
    reply.header.status = NOTIFY_STATUS_OK;
    switch (static_cast<Op>(request.header.op)) {
      case Op::kRegister: break;
      case Op::kPost: {
        Message event;
        event.header.op = static_cast<std::uint32_t>(Op::kEvent);
        event.set_name(name);
        for (const auto& other : clients_) {
          if (!other->dropped && other->watched.count(name)) send(*other, event);
        }
        break;
      }
      case Op::kGetState: {
        auto found = states_.find(name);
        reply.header.value = found == states_.end() ? 0 : found->second;
        break;
      }
      case Op::kSetState: states_[name] = request.header.value; break;
      case Op::kWatch: client.watched.insert(name); break;
      case Op::kUnwatch: client.watched.erase(name); break;
      default: reply.header.status = NOTIFY_STATUS_INVALID_REQUEST; break;
    }
    send(client, reply);
  }

  void send(Client& client, const Message& message) {
    if (client.dropped) return;
    if (client.outbox.size() >= kMaxQueuedMessages) {
      client.dropped = true;
      return;
    }
    client.outbox.emplace_back(reinterpret_cast<const char*>(&message), message.size());
    flush(client);
  }

  void flush(Client& client) {
    while (!client.outbox.empty()) {
      const std::string& bytes = client.outbox.front();
      ssize_t sent = ::send(client.fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (sent < 0 && errno == EINTR) continue;
      if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
      if (sent != static_cast<ssize_t>(bytes.size())) {
        client.dropped = true;
        return;
      }
      client.outbox.pop_front();
    }
  }

  int listen_fd_;
  std::vector<std::unique_ptr<Client>> clients_;
  std::unordered_map<std::string, std::uint64_t> states_;
};

std::string default_socket_path() {
  if (const char* path = std::getenv(HV_ENV_NOTIFY_SOCKET); path && *path) return path;
  if (const char* root = std::getenv(HV_ENV_DEVICE_ROOT); root && *root) {
    return (std::filesystem::path(root) / HV_NOTIFYD_DEFAULT_SOCKET).string();
  }
  return {};
}

bool someone_listens(const sockaddr_un& address) {
  int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  ::close(fd);
  return connected;
}

}  // namespace

int main(int argc, char** argv) {
  std::string path = default_socket_path();
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--socket") == 0 && i + 1 < argc) {
      path = argv[++i];
    } else {
      std::fprintf(stderr, "usage: hv-notifyd [--socket PATH]\n");
      return 2;
    }
  }
  if (path.empty()) {
    std::fprintf(stderr, "hv-notifyd: no socket path (--socket, %s or %s)\n", HV_ENV_NOTIFY_SOCKET,
                 HV_ENV_DEVICE_ROOT);
    return 2;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof(address.sun_path)) {
    std::fprintf(stderr, "hv-notifyd: socket path too long: %s\n", path.c_str());
    return 2;
  }
  path.copy(address.sun_path, path.size());

  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
  if (someone_listens(address)) {
    std::fprintf(stderr, "hv-notifyd: already running on %s\n", path.c_str());
    return 1;
  }
  ::unlink(path.c_str());  // a socket left behind by a daemon that died

  // The socket appears under its name only once it listens: it is bound and made to listen
  // under a name of its own, then renamed into place. Whoever waits for the file to exist
  // (a launcher, a test) can connect at once instead of being refused between bind and
  // listen.
  sockaddr_un staging = address;
  const std::string staging_path = path + "." + std::to_string(::getpid()) + ".new";
  const bool staged = staging_path.size() < sizeof(staging.sun_path);
  if (staged) {
    std::memset(staging.sun_path, 0, sizeof(staging.sun_path));
    staging_path.copy(staging.sun_path, staging_path.size());
    ::unlink(staging_path.c_str());
  }
  int listen_fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listen_fd < 0 ||
      ::bind(listen_fd, reinterpret_cast<sockaddr*>(staged ? &staging : &address),
             sizeof(address)) != 0 ||
      ::listen(listen_fd, 128) != 0 ||
      (staged && ::rename(staging_path.c_str(), path.c_str()) != 0)) {
    std::fprintf(stderr, "hv-notifyd: cannot listen on %s: %s\n", path.c_str(),
                 std::strerror(errno));
    if (staged) ::unlink(staging_path.c_str());
    return 1;
  }

  if (::pipe2(stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return 1;
  struct sigaction action{};
  action.sa_handler = request_stop;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  Daemon(listen_fd).run();
  ::close(listen_fd);
  ::unlink(path.c_str());
  return 0;
}

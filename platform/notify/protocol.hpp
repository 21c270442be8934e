// The wire format between notify clients and hv-notifyd: one fixed header and the name's
// bytes per SOCK_SEQPACKET message (the socket keeps message boundaries and order).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace hv::notify {

inline constexpr std::size_t kMaxNameLength = 1024;

enum class Op : std::uint32_t {
  kRegister = 1,  // a check-style registration: validates the name; reply carries a status
  kPost = 2,      // post name to every client watching it
  kGetState = 3,  // reply value = the name's state (0 if never set)
  kSetState = 4,  // state of name = value
  kWatch = 5,     // send this client an event for every post of name
  kUnwatch = 6,
  kReply = 100,  // daemon -> client: answer to the request with the same seq
  kEvent = 101,  // daemon -> client: name was posted
};

struct Header {
  std::uint32_t op;
  std::uint32_t seq;
  std::uint32_t status;
  std::uint32_t name_length;
  std::uint64_t value;
};

struct Message {
  Header header{};
  char name[kMaxNameLength];

  std::size_t size() const noexcept { return sizeof(Header) + header.name_length; }
  std::string_view name_view() const noexcept { return {name, header.name_length}; }
  void set_name(std::string_view text) noexcept {
    header.name_length = static_cast<std::uint32_t>(text.size());
    std::memcpy(name, text.data(), text.size());
  }
  // A received message of n bytes is well formed when its name fits what was received.
  bool well_formed(std::size_t n) const noexcept {
    return n >= sizeof(Header) && header.name_length <= kMaxNameLength &&
           n == sizeof(Header) + header.name_length;
  }
};

}  // namespace hv::notify

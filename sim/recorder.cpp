// The record of every message that reached a simulated method.
#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <utility>

#include "common/objc/foundation.hpp"
#include "sim/internal.hpp"

namespace halvernic::sim {
namespace {

// The record is a ring of the most recent calls: a daemon that runs for hours keeps a
// bounded record (HALVERNIC_SIM_CALL_RECORD calls, default kDefaultRingCapacity), the
// oldest call giving way to the newest.
constexpr std::size_t kDefaultRingCapacity = 16384;

std::size_t configured_capacity() {
  const char* text = std::getenv("HALVERNIC_SIM_CALL_RECORD");
  if (!text || !*text) return kDefaultRingCapacity;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (*end != '\0' || value == 0 || value > (1u << 24)) return kDefaultRingCapacity;
  return static_cast<std::size_t>(value);
}

class Ring {
public:
  explicit Ring(std::size_t capacity) : slots_(capacity) {}

  // Stores call in place of the oldest when full; answers the call it replaced.
  Call push(Call call) {
    Call& slot = slots_[(first_ + size_) % slots_.size()];
    Call old = std::exchange(slot, std::move(call));
    if (size_ < slots_.size()) {
      ++size_;
    } else {
      first_ = (first_ + 1) % slots_.size();
    }
    return old;
  }

  template <class F>
  void for_each(F&& f) const {
    for (std::size_t i = 0; i < size_; ++i) f(slots_[(first_ + i) % slots_.size()]);
  }

  std::size_t size() const { return size_; }
  std::size_t capacity() const { return slots_.size(); }

  std::vector<Call> take() {
    std::vector<Call> out = std::move(slots_);
    slots_ = std::vector<Call>(out.size());
    first_ = size_ = 0;
    return out;
  }

private:
  std::vector<Call> slots_;
  std::size_t first_ = 0, size_ = 0;
};

std::mutex& calls_mutex() {
  static auto* mutex = new std::mutex();
  return *mutex;
}
Ring& ring() {
  static auto* r = new Ring(configured_capacity());
  return *r;
}

std::string describe(id object) {
  if (!object) return "nil";
  if (objc::isString(object)) return objc::toString(object);
  if (objc::isNumber(object)) return std::to_string(objc::int64Value(object));
  return std::string("<") + objc::className(objc::classOf(object)) + ">";
}

}  // namespace

namespace detail {

Arg object_arg(id object) {
  Arg arg;
  arg.is_object = true;
  arg.object = objc::Ref::retain(object);
  arg.text = describe(object);
  return arg;
}

Arg integer_arg(std::int64_t value) {
  Arg arg;
  arg.integer = value;
  arg.text = std::to_string(value);
  return arg;
}

void record(id self, SEL cmd, std::vector<Arg> args) {
  Call call;
  call.receiver = self;
  call.class_name = objc::className(objc::classOf(self));
  call.selector = objc::selName(cmd);
  call.args = std::move(args);
  Call dropped;  // released after the lock: releasing an object may run its dealloc
  std::lock_guard lock(calls_mutex());
  dropped = ring().push(std::move(call));
}

}  // namespace detail

std::string Call::text() const {
  std::string out = selector;
  for (const Arg& arg : args) {
    out += ' ';
    out += arg.text;
  }
  return out;
}

std::vector<Call> calls() {
  std::vector<Call> out;
  std::lock_guard lock(calls_mutex());
  out.reserve(ring().size());
  ring().for_each([&](const Call& call) { out.push_back(call); });
  return out;
}

std::size_t call_record_capacity() {
  std::lock_guard lock(calls_mutex());
  return ring().capacity();
}

std::vector<std::string> call_texts(std::initializer_list<std::string_view> selectors) {
  std::vector<std::string> out;
  std::lock_guard lock(calls_mutex());
  ring().for_each([&](const Call& call) {
    if (selectors.size() == 0 ||
        std::find(selectors.begin(), selectors.end(), call.selector) != selectors.end()) {
      out.push_back(call.text());
    }
  });
  return out;
}

std::size_t call_count(std::string_view selector) {
  std::size_t n = 0;
  std::lock_guard lock(calls_mutex());
  ring().for_each([&](const Call& c) { n += c.selector == selector; });
  return n;
}

void clear_calls() {
  std::vector<Call> old;
  {
    std::lock_guard lock(calls_mutex());
    old = ring().take();
  }
  // The recorded objects are released here, outside the lock.
}

}  // namespace halvernic::sim

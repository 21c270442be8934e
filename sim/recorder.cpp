// The record of every message that reached a simulated method.
#include <algorithm>
#include <deque>
#include <mutex>

#include "common/objc/foundation.hpp"
#include "sim/internal.hpp"

namespace halvernic::sim {
namespace {

// A long-running simulated daemon keeps the most recent calls only.
constexpr std::size_t kMaxCalls = 200000;

std::mutex& calls_mutex() {
  static auto* mutex = new std::mutex();
  return *mutex;
}
std::deque<Call>& call_list() {
  static auto* list = new std::deque<Call>();
  return *list;
}

std::string describe(id object) {
  if (!object) return "nil";
  if (objc::is_string(object)) return objc::to_string(object);
  if (objc::is_number(object)) return std::to_string(objc::int64_value(object));
  return std::string("<") + objc::class_name(objc::class_of(object)) + ">";
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
  call.class_name = objc::class_name(objc::class_of(self));
  call.selector = objc::sel_name(cmd);
  call.args = std::move(args);
  Call dropped;  // released after the lock: releasing an object may run its dealloc
  std::lock_guard lock(calls_mutex());
  auto& list = call_list();
  list.push_back(std::move(call));
  if (list.size() > kMaxCalls) {
    dropped = std::move(list.front());
    list.pop_front();
  }
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
  std::lock_guard lock(calls_mutex());
  return {call_list().begin(), call_list().end()};
}

std::vector<std::string> call_texts(std::initializer_list<std::string_view> selectors) {
  std::vector<std::string> out;
  std::lock_guard lock(calls_mutex());
  for (const Call& call : call_list()) {
    if (selectors.size() == 0 ||
        std::find(selectors.begin(), selectors.end(), call.selector) != selectors.end()) {
      out.push_back(call.text());
    }
  }
  return out;
}

std::size_t call_count(std::string_view selector) {
  std::lock_guard lock(calls_mutex());
  return static_cast<std::size_t>(std::count_if(call_list().begin(), call_list().end(),
                                                [&](const Call& c) { return c.selector == selector; }));
}

void clear_calls() {
  std::deque<Call> old;
  {
    std::lock_guard lock(calls_mutex());
    old.swap(call_list());
  }
  // The recorded objects are released here, outside the lock.
}

}  // namespace halvernic::sim

// Registrations the class builder must refuse at compile time. Built as it is (no case
// chosen), every registration below matches its declaration and the file compiles; with
// HV_CASE_<NAME> defined for one of the cases, declared_method_check.cmake compiles it
// again with the project's own command line and expects the compiler to refuse it with the
// builder's reason.
#include <cstdint>

#include "common/objc/class_builder.hpp"
#include "common/objc/message.hpp"
#include "extension/hooking/host.hpp"

namespace {

constinit objc::Message<void(float)> kSetOpacity{"setOpacity:"};
constinit objc::Message<int()> kLevel{"level"};
constinit objc::Message<id(id)> kShared{"sharedWithName:"};
constinit objc::Selector kUntyped{"setOpacity:"};

void set_opacity(id, SEL, float) {}
void set_opacity_double(id, SEL, double) {}
void set_opacity_no_cmd(id, float) {}
int level(id, SEL) { return 0; }
long level_long(id, SEL) { return 0; }
id shared(id, SEL, id name) { return name; }
id shared_class(id, SEL, Class name) { return nullptr; }
int cpu_level(id, SEL) noexcept { return 0; }
std::int64_t cpu_level_wide(id, SEL) { return 0; }

[[maybe_unused]] void register_all() {
  objc::ClassBuilder builder("HVDeclaredMethodCheck", "NSObject");
#if defined(HV_CASE_ARGUMENT)
  builder.method(kSetOpacity, &set_opacity_double);  // a double where the message carries a float
#elif defined(HV_CASE_RESULT)
  builder.method(kLevel, &level_long);  // a long where the message answers an int
#elif defined(HV_CASE_NO_CMD)
  builder.method(kSetOpacity, &set_opacity_no_cmd);  // without the selector argument
#elif defined(HV_CASE_SELECTOR_STRING)
  builder.method("setOpacity:", &set_opacity);  // a selector string instead of a declaration
#elif defined(HV_CASE_UNTYPED_SELECTOR)
  builder.method(kUntyped, &set_opacity);  // a selector without types
#elif defined(HV_CASE_CLASS_METHOD)
  builder.class_method(kShared, &shared_class);  // a Class where the message carries an id
#elif defined(HV_CASE_ENCODING_OVERRIDE)
  builder.method_with_encoding(kLevel, &level_long, "i@:");  // the function is still checked
#elif defined(HV_CASE_HOST_MESSAGE)
  builder.method(halvernic::host::kCPULevel, &cpu_level_wide);  // the daemon's int, as 64 bits
#else
  builder.method(kSetOpacity, &set_opacity)
      .method(kLevel, &level)
      .classMethod(kShared, &shared)
      .methodWithEncoding(kLevel, &level, "q@:")
      .method(halvernic::host::kCPULevel, &cpu_level);
  (void)&set_opacity_double;
  (void)&set_opacity_no_cmd;
  (void)&level_long;
  (void)&shared_class;
  (void)&cpu_level_wide;
  (void)&kUntyped;
#endif
}

}  // namespace

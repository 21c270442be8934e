#include "tests/replacements/probe_host.hpp"

#include <mutex>

#include "common/objc/class_builder.hpp"
#include "common/objc/foundation.hpp"
#include "extension/hooking/host.hpp"

namespace probe {

namespace host = halvernic::host;

namespace {

std::mutex gMutex;
std::vector<std::string> gCalls;

std::string text(id object) {
  if (!object) return "nil";
  if (objc::isBoolean(object)) return objc::platformBoolValue(object) ? "true" : "false";
  if (objc::isNumber(object)) return std::to_string(objc::int64Value(object));
  if (objc::isString(object)) return objc::toString(object);
  return "<object>";
}

template <class... A>
void record(SEL cmd, A... args) {
  std::string line = objc::selName(cmd);
  ((line += " " +
            [&] {
              if constexpr (std::is_same_v<A, id>) {
                return text(args);
              } else {
                return std::to_string(static_cast<std::int64_t>(args));
              }
            }()),
   ...);
  std::lock_guard lock(gMutex);
  gCalls.push_back(std::move(line));
}

id answerObject(const objc::Ref& ref) {
  std::lock_guard lock(gMutex);
  return objc::autorelease(objc::retain(ref.get()));
}

std::int64_t pressureLevel(id, SEL cmd) {
  record(cmd);
  return answers().pressureLevel;
}
bool forcedPressureLevel(id, SEL cmd) {
  record(cmd);
  return answers().forcedPressureLevel;
}
std::uint64_t forcedLevel(id, SEL cmd, std::uint64_t component) {
  record(cmd, component);
  return answers().forcedLevel;
}
id objectQuery(id, SEL cmd, id argument) {
  record(cmd, argument);
  return answerObject(answers().object);
}
id pressure(id, SEL cmd, id argument) {
  record(cmd, argument);
  return answerObject(answers().pressure);
}
void* configuration(id, SEL cmd, host::CFStringRef key) {
  record(cmd, host::object(key));
  return answerObject(answers().configuration);
}
void objectSetter(id, SEL cmd, id value) { record(cmd, value); }
void intSetter(id, SEL cmd, int value) { record(cmd, value); }
void boolSetter(id, SEL cmd, BOOL value) { record(cmd, value); }
void intSourceSetter(id, SEL cmd, int value, host::PassedOnArg source) {
  record(cmd, value, source);
}
void trigger(id, SEL cmd) { record(cmd); }

Class build(const char* name, void (*add)(objc::ClassBuilder&)) {
  objc::ClassBuilder builder(name, "NSObject");
  add(builder);
  return builder.build();
}

id instance(Class c) {
  return objc::send<id>(objc::send<id>(c, objc::sel("alloc")), objc::sel("init"));
}

}  // namespace

Answers& answers() {
  static Answers a;
  return a;
}

halvernic::replacements::HostClassList classes() {
  static const halvernic::replacements::HostClassList list{
      build("ProbeCommonProduct",
            [](objc::ClassBuilder& b) {
              b.method(host::kThermalPressureLevel, &pressureLevel)
                  .method(host::kSetThermalState, &intSetter)
                  .method(host::kGetPotentialForcedThermalPressureLevel, &forcedPressureLevel)
                  .method(host::kGetPotentialForcedThermalLevel, &forcedLevel)
                  .method(host::kThermalUpdatesToWatchdogEnabled, &objectSetter);
            }),
      build("ProbeThermalManager",
            [](objc::ClassBuilder& b) {
              b.method(host::kGetConfigurationFor, &configuration)
                  .method(host::kGetThermalSuggestion, &objectQuery)
                  .method(host::kThermalSuggestion, &objectQuery)
                  .method(host::kThermalMitigation, &objectQuery)
                  .method(host::kThermalPressure, &pressure);
            }),
      build("ProbeMitigationController", [](objc::ClassBuilder& b) {
        b.method(host::kSetPowerSaveActive, &boolSetter)
            .method(host::kSetCPMSMitigationsEnabled, &boolSetter);
        using Setters = std::initializer_list<const host::Message<void(int)>*>;
        for (const auto* s :
             Setters{&host::kSetDVD1Level, &host::kSetCPULevel, &host::kSetCPULowPowerTarget,
                     &host::kSetCPUPowerZoneTarget, &host::kSetMaxPackagePower}) {
          b.method(*s, &intSetter);
        }
        using SourceSetters =
            std::initializer_list<const host::Message<void(int, host::PassedOnArg)>*>;
        for (const auto* s : SourceSetters{&host::kSetCPUPowerCeilingFromDecisionSource,
                                           &host::kSetCPUPowerCeilingForDVD1Contributor,
                                           &host::kSetCPUPowerFloorFromDecisionSource,
                                           &host::kSetPackagePowerCeilingFromDecisionSource,
                                           &host::kSetPackagePowerFloorFromDecisionSource}) {
          b.method(*s, &intSourceSetter);
        }
        b.method(host::kSetPackageLowPowerTarget, &trigger)
            .method(host::kSetPackagePowerZoneTarget, &trigger);
      })};
  return list;
}

id configurationFor(id manager, const char* key) {
  return host::object(host::kGetConfigurationFor.send(
      manager, host::bridged<host::CFStringRef>(objc::string(key))));
}

id product() {
  static id p = instance(classes().commonProduct);
  return p;
}
id manager() {
  static id m = instance(classes().thermalManager);
  return m;
}
id controller() {
  static id c = instance(classes().mitigationController);
  return c;
}

std::vector<std::string> calls() {
  std::lock_guard lock(gMutex);
  return gCalls;
}

void clearCalls() {
  std::lock_guard lock(gMutex);
  gCalls.clear();
}

}  // namespace probe

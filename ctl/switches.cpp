#include "ctl/switches.hpp"

namespace halvernic::ctl {

std::string shortName(std::string_view key) {
  constexpr std::string_view kPrefix = "thermal", kSuffix = "Enabled";
  if (key.starts_with(kPrefix) && key.size() > kPrefix.size()) key.remove_prefix(kPrefix.size());
  if (key.ends_with(kSuffix) && key.size() > kSuffix.size()) key.remove_suffix(kSuffix.size());
  std::string name(key);
  if (!name.empty() && name[0] >= 'A' && name[0] <= 'Z') {
    name[0] = static_cast<char>(name[0] - 'A' + 'a');
  }
  return name;
}

const Switch* findSwitch(std::string_view name) {
  for (const Switch& entry : kSwitches) {
    if (name == entry.key || name == shortName(entry.key)) return &entry;
  }
  return nullptr;
}

}  // namespace halvernic::ctl

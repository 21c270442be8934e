#include "common/ui/declarations.hpp"

#include <cctype>

// Both platforms compile the declaration headers here, whether or not a front-end is built.
#include "common/ui/quartzcore.hpp"
#include "common/ui/uikit.hpp"

namespace halvernic::ui {

std::string bareTypes(const char* types) {
  std::string out;
  if (!types) return out;
  for (const char* p = types; *p; ++p) {
    const char c = *p;
    if (std::isdigit(static_cast<unsigned char>(c))) continue;
    // Method qualifiers: const, in, inout, out, bycopy, byref, oneway.
    const bool qualifier =
        c == 'r' || c == 'n' || c == 'N' || c == 'o' || c == 'O' || c == 'R' || c == 'V';
    const bool starts_type = p == types || std::isdigit(static_cast<unsigned char>(p[-1]));
    if (qualifier && starts_type) continue;
    out += c;
  }
  return out;
}

std::vector<std::string> declarationMismatches(std::span<const objc::MessageInfo> declared) {
  std::vector<std::string> out;
  for (const objc::MessageInfo& info : declared) {
    const std::string where = std::string(info.class_method ? "+[" : "-[") + info.class_name + " " +
                              info.selector->name() + "]";
    Class c = objc::cls(info.class_name);
    if (!c) {
      out.push_back(where + ": no such class");
      continue;
    }
    Method m = info.class_method ? class_getClassMethod(c, info.selector->get())
                                 : class_getInstanceMethod(c, info.selector->get());
    if (!m) {
      out.push_back(where + ": not implemented");
      continue;
    }
    const std::string registered = bareTypes(method_getTypeEncoding(m));
    const std::string expected = info.types();
    if (registered != expected) {
      std::string& line = out.emplace_back(where);
      line.append(": declared ").append(expected).append(", registered ").append(registered);
    }
  }
  return out;
}

}  // namespace halvernic::ui

// JSON as a real parser reads it (Python's json module), for tests of halvernicctl's output.
#pragma once

#include <map>
#include <string>

namespace hv_test {

// Every leaf of the JSON text: "a.b.0" -> its value as Python writes it back (json.dumps,
// non-ASCII kept; a key in the path escaped as JSON escapes it); an empty object or list
// is a leaf ("{}", "[]"). {"!": what Python said} when the text does not parse. scratch is
// a folder for the text.
std::map<std::string, std::string> parsedByPython(const std::string& text,
                                                  const std::string& scratch);

}  // namespace hv_test

// Captures the lines the process logs through NSLog, for exact assertions.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace hv_test {

// While alive, every NSLog line of the process is recorded (and not printed). One at a
// time per process.
class LogCapture {
public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<std::string> lines() const;  // message text only, in order
  std::size_t count(const std::string& line) const;
  void clear();
};

}  // namespace hv_test

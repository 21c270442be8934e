#include "tests/support/log_capture.hpp"

#include <algorithm>
#include <cstring>

#include "common/objc/foundation.hpp"

// GNUstep routes every NSLog line through this handler when it is set.
extern "C" {
using NSLogPrintfHandler = void(id message);
extern NSLogPrintfHandler* _NSLog_printf_handler;
}

namespace hv_test {
namespace {
std::mutex g_mutex;
std::vector<std::string> g_lines;
NSLogPrintfHandler* g_previous = nullptr;  // the handler a capture replaced

void record(id message) {
  std::string text = objc::toString(message);
  // GNUstep passes the line with its prefix "date process[pid:tid] " and a newline;
  // keep the message itself.
  if (!text.empty() && text.back() == '\n') text.pop_back();
  if (auto pos = text.find("] "); pos != std::string::npos) text.erase(0, pos + 2);
  std::lock_guard lock(g_mutex);
  g_lines.push_back(std::move(text));
}
}  // namespace

LogCapture::LogCapture() {
  clear();
  g_previous = _NSLog_printf_handler;
  _NSLog_printf_handler = &record;
}
// The Foundation fix-ups' handler (which keeps the property-list readers silent) is back.
LogCapture::~LogCapture() { _NSLog_printf_handler = g_previous; }

std::vector<std::string> LogCapture::lines() const {
  std::lock_guard lock(g_mutex);
  return g_lines;
}
std::size_t LogCapture::count(const std::string& line) const {
  std::lock_guard lock(g_mutex);
  return static_cast<std::size_t>(std::count(g_lines.begin(), g_lines.end(), line));
}
void LogCapture::clear() {
  std::lock_guard lock(g_mutex);
  g_lines.clear();
}

}  // namespace hv_test

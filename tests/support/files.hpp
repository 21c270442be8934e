// Small helpers the end-to-end tests share: a whole file as text, and a bounded wait.
#pragma once

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace hv_test {

// The file's bytes; "" when it cannot be opened.
inline std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Polls done every poll until it holds (true) or timeout has passed (false).
template <class Predicate>
bool waitUntil(Predicate done, std::chrono::milliseconds timeout,
               std::chrono::milliseconds poll = std::chrono::milliseconds(20)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(poll);
  }
  return true;
}

}  // namespace hv_test

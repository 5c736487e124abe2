// Ends the bridge once the client that started it is gone. The client may die without
// closing our input (a crash leaves the pipe with another holder), and re-parenting
// may go to a subreaper rather than process 1, so the test is that the parent id
// differs from the one seen at start.
#pragma once

#include <chrono>

namespace melodock {

class ParentWatchdog {
 public:
  static constexpr std::chrono::seconds kInterval{3};

  // Starts a background thread that checks every `interval` (the first check one
  // interval after start) and ends the process with status 0 when the parent changed.
  // The thread lives as long as the process.
  static void start(std::chrono::milliseconds interval = kInterval);
};

}  // namespace melodock

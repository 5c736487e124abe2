// Bridge mode: the relay between an AI client's standard streams and the app.
#pragma once

namespace melodock {

class StdioBridge {
 public:
  // Runs the bridge until standard input ends; returns the process exit status.
  static int run();
};

}  // namespace melodock

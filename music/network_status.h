// Whether the network is metered (Low Data Mode), as the music service reports it in the
// now-playing object. Lives on the main actor: the platform's monitor hands it each
// reading there.
#pragma once

#include <functional>
#include <vector>

namespace melodock {

class NetworkStatus {
 public:
  [[nodiscard]] bool isLowDataMode() const { return lowDataMode_; }
  // Observers hear of a reading only when it differs from the last.
  void setLowDataMode(bool on) {
    if (on == lowDataMode_) return;
    lowDataMode_ = on;
    for (const auto& observer : observers_) observer();
  }
  void observe(std::function<void()> observer) { observers_.push_back(std::move(observer)); }

 private:
  bool lowDataMode_ = false;
  std::vector<std::function<void()>> observers_;
};

}  // namespace melodock

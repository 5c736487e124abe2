// Whether a newer build of Melodock exists: fetches the product's update feed, compares
// its build number with the running build's, and publishes the outcome for the panel's
// update row. Used on the main actor.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/actor.h"
#include "platform/clock.h"
#include "platform/settings.h"
#include "ui/update_state.h"

namespace melodock {

class WebAPIHTTPTransport;

class UpdateCheck {
 public:
  static constexpr std::chrono::seconds kTimeout{15};
  // A feed is a few lines; anything much longer is not one.
  static constexpr std::size_t kBodyLimit = std::size_t{64} * 1024;

  // The feed document: all three members required, others ignored.
  struct Latest {
    std::string version;
    std::int64_t build = 0;
    std::string page;  // an http(s) URL

    friend bool operator==(const Latest&, const Latest&) = default;
  };

  struct Options {
    std::string feedURL{};  // empty: no checks run, and asking for one fails at once
    std::string build{};    // the running build's number as text ("" counts as 0)
    std::chrono::milliseconds timeout = kTimeout;
  };

  using Observer = std::function<void(const UpdateState&)>;

  // `main`, `settings` ("lastUpdateCheck" is stored there), `clock` and `http` must
  // outlive the check and every fetch it started.
  UpdateCheck(const MainActor& main, Settings& settings, Clock& clock, WebAPIHTTPTransport& http,
              Options options);
  // On the main actor: a fetch under way ends unseen.
  ~UpdateCheck();
  UpdateCheck(const UpdateCheck&) = delete;
  UpdateCheck& operator=(const UpdateCheck&) = delete;

  // Starts a check unless one is running (main actor). With no feed: `failed` at once.
  void check();
  // The launch's daily check: as check(), but nothing at all without a feed.
  void checkAtLaunch();

  // Main actor only.
  [[nodiscard]] const UpdateState& state() const;
  // `observer` is told every new state, on the main actor, as it is published.
  void observe(Observer observer);

  // The feed's body as a document; nothing when it is not one.
  [[nodiscard]] static std::optional<Latest> decode(std::string_view body);

  struct Core;  // shared with a fetch under way

 private:
  std::shared_ptr<Core> core_;
};

}  // namespace melodock

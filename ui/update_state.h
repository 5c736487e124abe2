// What the last update check found, as the panel's update row shows it. A plain value:
// the check publishes it on the main actor and the views read copies.
#pragma once

#include <cstdint>
#include <string>

namespace melodock {

struct UpdateState {
  enum class Kind : std::uint8_t {
    idle,       // no check has run yet
    checking,   // a fetch is running
    current,    // the running build is the newest
    failed,     // the last fetch or decoding failed
    available,  // a newer build exists: `version` and `page` say which and where
  };

  Kind kind = Kind::idle;
  std::string version;  // available only
  std::string page;     // available only: the download page's URL

  friend bool operator==(const UpdateState&, const UpdateState&) = default;
};

}  // namespace melodock

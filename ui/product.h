// What this build of Melodock is and where it lives outside the machine: set when it is
// built (CMake cache variables), so a packager decides them and tests pass their own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace melodock {

struct Product {
  std::string version;         // the version text users see, e.g. "1.2"
  std::string build;           // the build number as text; empty when the build has none
  std::string updateFeedURL;   // the update feed (a JSON file); empty: no update checks
  std::string supportAddress;  // the support mailbox
  std::string siteURL;         // the product's web site

  // This build's values.
  [[nodiscard]] static const Product& built();
};

// A build number's text as a number: an optional "+" or "-", then decimal digits only.
// Missing, empty, anything else or out of range counts as 0.
[[nodiscard]] std::int64_t buildNumber(std::string_view text);

}  // namespace melodock

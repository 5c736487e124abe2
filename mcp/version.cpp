#include "mcp/version.h"

namespace mcp {

const std::set<std::string, std::less<>>& Version::supported() {
  static const std::set<std::string, std::less<>> versions = {"2025-11-25", "2025-06-18",
                                                              "2025-03-26", "2024-11-05"};
  return versions;
}

const std::string& Version::latest() {
  static const std::string version = *supported().rbegin();
  return version;
}

std::string Version::negotiate(std::string_view requested) {
  if (supported().contains(requested)) return std::string(requested);
  return latest();
}

}  // namespace mcp

// The MCP protocol versions this library speaks, and the negotiation of `initialize`.
#pragma once

#include <set>
#include <string>
#include <string_view>

namespace mcp {

struct Version {
  // {"2024-11-05", "2025-03-26", "2025-06-18", "2025-11-25"}.
  static const std::set<std::string, std::less<>>& supported();
  // The greatest supported version in text order.
  static const std::string& latest();
  // `requested` when supported, else latest(): a version is never refused.
  static std::string negotiate(std::string_view requested);
};

}  // namespace mcp

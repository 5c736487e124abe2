// An icon for a server, client or tool.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace mcp {

struct Icon {
  std::string src{};
  std::optional<std::string> mimeType{};
  std::optional<std::vector<std::string>> sizes{};
  std::optional<std::string> theme{};  // "light" or "dark"

  [[nodiscard]] nlohmann::json toJSON() const;
  static Icon fromJSON(const nlohmann::json& json);
  bool operator==(const Icon&) const = default;
};

}  // namespace mcp

#include "mcp/icon.h"

#include <nlohmann/json.hpp>

#include "mcp/detail/coding.h"

namespace mcp {

nlohmann::json Icon::toJSON() const {
  nlohmann::json json = {{"src", src}};
  detail::putOptional(json, "mimeType", mimeType);
  detail::putOptional(json, "sizes", sizes);
  detail::putOptional(json, "theme", theme);
  return json;
}

Icon Icon::fromJSON(const nlohmann::json& json) {
  detail::requireObject(json, "an icon");
  return {detail::requiredString(json, "src"), detail::optionalString(json, "mimeType"),
          detail::optionalArray<std::string>(json, "sizes"), detail::optionalString(json, "theme")};
}

}  // namespace mcp

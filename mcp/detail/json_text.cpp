#include "mcp/detail/json_text.h"

namespace mcp::detail {

namespace {

// Whether containers in `text` nest deeper than the bound, counting the brackets
// outside strings. Exact for JSON text; for anything else the parse fails anyway.
bool nestsTooDeep(std::string_view text) {
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
      continue;
    }
    if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxJSONDepth) return true;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return false;
}

}  // namespace

std::optional<nlohmann::json> parseJSON(std::string_view text) {
  // Checked before parsing, so the parser runs without a callback: a callback parser
  // keeps stacks of its own and calls back for every value.
  if (nestsTooDeep(text)) return std::nullopt;
  nlohmann::json parsed = nlohmann::json::parse(text.begin(), text.end(), nullptr, false);
  if (parsed.is_discarded()) return std::nullopt;
  return parsed;
}

std::string encodeJSON(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

const nlohmann::json* member(const nlohmann::json& object, std::string_view key) {
  if (!object.is_object()) return nullptr;
  auto found = object.find(key);
  return found == object.end() ? nullptr : &*found;
}

}  // namespace mcp::detail

#include "mcp/detail/json_text.h"

namespace mcp::detail {

namespace {

// nlohmann's own document builder, refusing containers nested past the bound.
class BoundedBuilder : public nlohmann::detail::json_sax_dom_parser<nlohmann::json> {
 public:
  explicit BoundedBuilder(nlohmann::json& result) : json_sax_dom_parser(result, false) {}
  bool start_object(std::size_t size) { return open() && json_sax_dom_parser::start_object(size); }
  bool start_array(std::size_t size) { return open() && json_sax_dom_parser::start_array(size); }
  bool end_object() { return --depth_, json_sax_dom_parser::end_object(); }
  bool end_array() { return --depth_, json_sax_dom_parser::end_array(); }

 private:
  bool open() { return ++depth_ <= kMaxJSONDepth; }
  int depth_ = 0;
};

}  // namespace

std::optional<nlohmann::json> parseJSON(std::string_view text) {
  nlohmann::json parsed;
  BoundedBuilder builder(parsed);
  if (!nlohmann::json::sax_parse(text.begin(), text.end(), &builder)) return std::nullopt;
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

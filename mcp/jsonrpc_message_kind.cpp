#include "mcp/jsonrpc_message_kind.h"

#include <cstdint>

#include <nlohmann/json.hpp>

#include "mcp/detail/json_text.h"

namespace mcp {
namespace {

// Reads the top level of one object as a stream of parse events: nothing is built,
// and whatever sits inside `params` or `result` is scanned and dropped. The whole text
// must still be valid JSON within the depth bound, as for a full parse. A key given
// twice counts with its last value, as in a parsed document.
class KindReader {
 public:
  using json = nlohmann::json;

  std::optional<std::string> id;
  std::optional<std::string> method;
  bool hasResult = false;

  bool null() { return scalar(); }
  bool boolean(bool) { return scalar(); }
  bool number_integer(json::number_integer_t value) {
    return scalar([&] { id = std::to_string(value); });
  }
  bool number_unsigned(json::number_unsigned_t value) {
    return scalar([&] {
      if (value <= static_cast<std::uint64_t>(INT64_MAX)) id = std::to_string(value);
    });
  }
  bool number_float(json::number_float_t, const json::string_t&) { return scalar(); }
  bool string(json::string_t& value) {
    if (depth_ == 0) return false;
    if (depth_ == 1 && pending_ == Pending::id) id = value;
    if (depth_ == 1 && pending_ == Pending::method) method = value;
    pending_ = Pending::none;
    return true;
  }
  bool binary(json::binary_t&) { return scalar(); }
  bool start_object(std::size_t) { return open(); }
  bool end_object() { return close(); }
  bool start_array(std::size_t) { return depth_ > 0 && open(); }
  bool end_array() { return close(); }
  bool key(json::string_t& name) {
    if (depth_ != 1) return true;
    pending_ = Pending::none;
    if (name == "id") {
      pending_ = Pending::id;
      id.reset();
    } else if (name == "method") {
      pending_ = Pending::method;
      method.reset();
    } else if (name == "result" || name == "error") {
      hasResult = true;
    }
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) {
    return false;
  }

 private:
  enum class Pending { none, id, method };

  // A value at the top level: only an integer id is kept; anything else under `id` or
  // `method` leaves it unset.
  template <class Keep = void (*)()>
  bool scalar(Keep keep = [] {}) {
    if (depth_ == 0) return false;
    if (depth_ == 1 && pending_ == Pending::id) keep();
    pending_ = Pending::none;
    return true;
  }
  bool open() {
    if (depth_ >= detail::kMaxJSONDepth) return false;
    ++depth_;
    pending_ = Pending::none;
    return true;
  }
  bool close() {
    --depth_;
    return true;
  }

  int depth_ = 0;
  Pending pending_ = Pending::none;
};

}  // namespace

std::optional<JSONRPCMessageKind> JSONRPCMessageKind::classify(std::string_view bytes) {
  KindReader reader;
  if (!nlohmann::json::sax_parse(bytes.begin(), bytes.end(), &reader)) return std::nullopt;
  if (reader.method) {
    if (reader.id) return JSONRPCMessageKind{Type::request, *reader.id, *reader.method};
    return JSONRPCMessageKind{Type::notification, {}, *reader.method};
  }
  if (reader.hasResult && reader.id) return JSONRPCMessageKind{Type::response, *reader.id, {}};
  return std::nullopt;
}

}  // namespace mcp

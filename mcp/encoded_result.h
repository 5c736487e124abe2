// A success result in its wire form. The server writes every typed result through
// one of these: the record's JSON read back as a Value (whole doubles become integers,
// data URLs come back in their canonical form) and encoded once. A handler whose
// answer never changes builds it once and returns a copy on every request, which
// shares the text: the tool catalogue's tools/list costs 89k instructions and 92
// allocations a request so, 1.02M and 1155 when encoded afresh.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <nlohmann/json_fwd.hpp>

#include "mcp/id.h"
#include "mcp/mcp_error.h"

namespace mcp {

class EncodedResult {
 public:
  // The empty object `{}`.
  EncodedResult();
  // Throws DecodingError when `result` holds something a Value cannot (binary data).
  explicit EncodedResult(const nlohmann::json& result);

  template <class Record>
  static EncodedResult of(const Record& result) {
    return EncodedResult(result.toJSON());
  }

  // Text already in the library's encoding (keys ascending, compact), taken as it is.
  static EncodedResult ofEncoded(std::string text);

  [[nodiscard]] const std::string& text() const { return text_->json; }
  // The first and the last key of the object, when it was encoded here from one with
  // any: what goes before or after them can be added without reading the text.
  [[nodiscard]] std::optional<std::pair<std::string_view, std::string_view>> outerKeys() const;

 private:
  struct Text {
    std::string json;
    std::optional<std::pair<std::string, std::string>> outerKeys{};
  };
  std::shared_ptr<const Text> text_;
};

namespace detail {
// The encoded JSON-RPC responses: keys in ascending order, as every message is written.
[[nodiscard]] std::string encodeSuccess(const ID& id, const EncodedResult& result);
[[nodiscard]] std::string encodeFailure(const ID& id, const MCPError& error);
}  // namespace detail

}  // namespace mcp

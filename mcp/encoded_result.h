// A success result in its wire form. The server writes every typed result through
// one of these: the record's JSON read the way an untyped Value reads it (whole
// doubles become integers, data URLs come back in their canonical form) and then
// encoded once. A handler whose answer never changes can build it once and return a
// copy on every request, which shares the text.
#pragma once

#include <memory>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "mcp/id.h"
#include "mcp/mcp_error.h"

namespace mcp {

class EncodedResult {
 public:
  // The empty object `{}`.
  EncodedResult();
  // Throws DecodingError when `result` holds something a Value cannot (binary data).
  explicit EncodedResult(nlohmann::json result);

  template <class Record>
  static EncodedResult of(const Record& result) {
    return EncodedResult(result.toJSON());
  }

  [[nodiscard]] const std::string& text() const { return *text_; }

 private:
  std::shared_ptr<const std::string> text_;
};

namespace detail {
// Rewrites `json` in place as Value::fromJSON(json).toJSON() would, without building
// the Value.
void normalizeAsValue(nlohmann::json& json);

// The encoded JSON-RPC responses: keys in ascending order, as every message is written.
[[nodiscard]] std::string encodeSuccess(const ID& id, const EncodedResult& result);
[[nodiscard]] std::string encodeFailure(const ID& id, const MCPError& error);
}  // namespace detail

}  // namespace mcp

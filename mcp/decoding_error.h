// The failure of reading a typed record from JSON: a key holding the wrong shape, or a
// required key missing. Distinct from MCPError; the server turns it into an internal
// error whose detail is `what()`.
#pragma once

#include <stdexcept>
#include <string>

namespace mcp {

class DecodingError : public std::runtime_error {
 public:
  enum class Kind { dataCorrupted, keyNotFound };

  DecodingError(Kind kind, const std::string& text) : std::runtime_error(text), kind_(kind) {}

  static DecodingError dataCorrupted(const std::string& text) {
    return {Kind::dataCorrupted, text};
  }
  static DecodingError keyNotFound(const std::string& key) {
    return {Kind::keyNotFound, "No value for key \"" + key + "\""};
  }

  [[nodiscard]] Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

}  // namespace mcp

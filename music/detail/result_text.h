// The text form of a tool result that the dispatcher builds from a value itself.
#pragma once

#include <string>

#include "mcp/value.h"

namespace melodock::detail {

// Compact JSON with "/" written as is. A value that JSON cannot hold exactly (a string
// that is not UTF-8, a number that is not finite) gives "{}" instead, never a
// half-written or altered text.
[[nodiscard]] std::string resultText(const mcp::Value& value);

}  // namespace melodock::detail

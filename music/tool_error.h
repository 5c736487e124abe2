// The one failure whose message is written for the agent: the dispatcher's and the
// music service's own checks raise it, and the host shows `message` as the tool result.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace melodock {

struct ToolError : std::exception {
  explicit ToolError(std::string text) : message(std::move(text)) {}

  // The whole text the agent sees; nothing is added to it.
  const char* what() const noexcept override { return message.c_str(); }

  std::string message;
};

}  // namespace melodock

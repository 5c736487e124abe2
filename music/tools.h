// The twenty music tools an agent sees: the fixed catalogue listed on tools/list and
// the dispatcher behind tools/call, which reads a call's arguments and runs the
// matching MusicOperations operation on the main actor.
#pragma once

#include <exception>
#include <string>
#include <vector>

#include <asio.hpp>

#include "mcp/tool.h"
#include "mcp/value.h"
#include "platform/actor.h"

namespace melodock {

class MusicOperations;

class Tools {
 public:
  // `main` and `service` must outlive the dispatcher; `service` is used only on `main`.
  Tools(const MainActor& main, MusicOperations& service) : main_(main), service_(service) {}

  // The catalogue in its fixed order; built once on first use, never changed.
  static const std::vector<mcp::Tool>& all();

  // One call's outcome as a value: the result text, or the failure with its message
  // as the text. A failing tool is an everyday answer, and a throw would unwind every
  // coroutine frame between the service and the caller.
  struct Outcome {
    std::string text;
    std::exception_ptr failure;
  };

  // Runs tool `name` with `arguments`: hops to the main actor before reading anything
  // and runs the service there. An unknown name or a missing required text argument
  // fails with a ToolError; the service's own failures pass through unchanged.
  asio::awaitable<Outcome> run(std::string name, mcp::Value::Object arguments) const;

 private:
  const MainActor& main_;
  MusicOperations& service_;
};

}  // namespace melodock

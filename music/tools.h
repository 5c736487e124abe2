// The twenty music tools an agent sees: the fixed catalogue listed on tools/list and
// the dispatcher behind tools/call, which reads a call's arguments and runs the
// matching MusicService operation on the main actor.
#pragma once

#include <exception>
#include <string>
#include <vector>

#include <asio.hpp>

#include "mcp/tool.h"
#include "mcp/value.h"

namespace melodock {

class MusicService;

class Tools {
 public:
  // The catalogue in its fixed order; built once on first use, never changed.
  static const std::vector<mcp::Tool>& all();

  // Runs tool `name` with `arguments` against MusicService::shared() and returns the
  // result text. Hops to the main actor before reading anything and runs the service
  // there. Fails with a ToolError for an unknown name or a missing required text
  // argument; the service's own failures pass through unchanged.
  static asio::awaitable<std::string> call(std::string name, mcp::Value::Object arguments);

  // The same against `service`, which must outlive the returned awaitable and is used
  // only on the main actor.
  static asio::awaitable<std::string> call(MusicService& service, std::string name,
                                           mcp::Value::Object arguments);

  // One call's outcome as a value: the result text, or the failure with its message
  // as the text. What `call` throws is `failure` here.
  struct Outcome {
    std::string text;
    std::exception_ptr failure;
  };
  // `call` without the exception: a failing tool is an everyday answer, and a throw
  // unwinds every coroutine frame between the service and the caller.
  static asio::awaitable<Outcome> run(std::string name, mcp::Value::Object arguments);
  static asio::awaitable<Outcome> run(MusicService& service, std::string name,
                                      mcp::Value::Object arguments);
};

}  // namespace melodock

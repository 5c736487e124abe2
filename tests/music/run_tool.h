// Runs a tool the way the MCP endpoint does, through Tools::run, and gives what the
// agent would read.
#pragma once

#include <chrono>
#include <exception>
#include <future>
#include <string>
#include <utility>

#include <asio.hpp>

#include "mcp/value.h"
#include "music/music_operations.h"
#include "music/tool_error.h"
#include "music/tools.h"
#include "platform/actor.h"

namespace melodock {

inline constexpr auto kPatience = std::chrono::seconds(10);

// The pool and main actor of these tests, for the life of the test program.
inline Executor& testPool() {
  static Executor executor(2);
  return executor;
}
inline const MainActor& testMainActor() {
  static const MainActor main(testPool());
  return main;
}

// The dispatcher as the endpoint holds it, over `service`.
inline asio::awaitable<Tools::Outcome> runThroughTools(MusicOperations& service, std::string name,
                                                       mcp::Value::Object arguments) {
  const Tools tools(testMainActor(), service);
  co_return co_await tools.run(std::move(name), std::move(arguments));
}

// Starts the tool call from the pool, as a request does.
inline std::future<Tools::Outcome> startTool(MusicOperations& service, std::string name,
                                             mcp::Value::Object arguments) {
  return asio::co_spawn(testPool().pool(),
                        runThroughTools(service, std::move(name), std::move(arguments)),
                        asio::use_future);
}

// The result text; a ToolError's message after "error: ", any other failure's after
// "failure: ".
inline std::string shownOutcome(std::future<Tools::Outcome> call) {
  if (call.wait_for(kPatience) != std::future_status::ready) return "timed out";
  Tools::Outcome outcome = call.get();
  if (!outcome.failure) return outcome.text;
  try {
    std::rethrow_exception(outcome.failure);
  } catch (const ToolError&) {
    return "error: " + outcome.text;
  } catch (const std::exception&) {
    return "failure: " + outcome.text;
  }
}

inline std::string runTool(MusicOperations& service, std::string name,
                           mcp::Value::Object arguments = {}) {
  return shownOutcome(startTool(service, std::move(name), std::move(arguments)));
}

}  // namespace melodock

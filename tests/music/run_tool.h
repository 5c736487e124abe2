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
#include "music/music_service.h"
#include "music/tool_error.h"
#include "music/tools.h"
#include "platform/executor.h"

namespace melodock {

inline constexpr auto kPatience = std::chrono::seconds(10);

// Starts the tool call from the pool, as a request does.
inline std::future<Tools::Outcome> startTool(MusicService& service, std::string name,
                                             mcp::Value::Object arguments) {
  return asio::co_spawn(Executor::shared().pool(),
                        Tools::run(service, std::move(name), std::move(arguments)),
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

inline std::string runTool(MusicService& service, std::string name,
                           mcp::Value::Object arguments = {}) {
  return shownOutcome(startTool(service, std::move(name), std::move(arguments)));
}

}  // namespace melodock

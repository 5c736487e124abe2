// Who the MCP server says it is on every request, and what it tells the agent.
#pragma once

#include <string>

#include "mcp/server.h"

namespace melodock {

// The version the build was made as ("1.0" when the build names none).
const std::string& appVersion();

mcp::Server::Info serverInfo();
// Tools only, and the list never changes while running.
mcp::Server::Capabilities serverCapabilities();
// The standing brief for the agent: how to be the user's DJ with these tools.
const std::string& serverInstructions();

}  // namespace melodock

// Writing responses, byte for byte as a client receives them.
#include <gtest/gtest.h>

#include "host/http_response_writer.h"
#include "tests/host/host_fixture.h"

namespace melodock {
namespace {

using testing::exchange;
using testing::HostFixture;

TEST(HTTPResponseWriter, WritesOneComputedContentLengthAndConnectionClose) {
  struct Row {
    const char* name;
    mcp::HTTPResponse response;
    std::string wire;
  };
  const std::vector<Row> rows = {
      {"own content-length replaced",
       mcp::HTTPResponse::data("hi", {{"content-length", "999"}, {"X-A", "b"}}),
       "HTTP/1.1 200 OK\r\nX-A: b\r\nContent-Length: 2\r\nConnection: close\r\n\r\nhi"},
      {"accepted", mcp::HTTPResponse::accepted(),
       "HTTP/1.1 202 Accepted\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"},
      {"418 is Error", mcp::HTTPResponse::error(418, mcp::MCPError::invalidRequest("teapot")),
       "HTTP/1.1 418 Error\r\nContent-Type: application/json\r\nContent-Length: 87\r\n"
       "Connection: close\r\n\r\n"
       R"({"error":{"code":-32600,"message":"Invalid Request: teapot"},"id":null,"jsonrpc":"2.0"})"},
      {"error headers: session id, extra headers replacing by name",
       mcp::HTTPResponse::error(405, mcp::MCPError::methodNotFound(), "s1",
                                {{"Allow", "POST"}, {"content-type", "text/plain"}}),
       "HTTP/1.1 405 Method Not Allowed\r\nAllow: POST\r\nMCP-Session-Id: s1\r\n"
       "content-type: text/plain\r\nContent-Length: 80\r\nConnection: close\r\n\r\n"
       R"({"error":{"code":-32601,"message":"Method not found"},"id":null,"jsonrpc":"2.0"})"},
      {"a body many times the socket's buffer, sent in pieces",
       mcp::HTTPResponse::data(std::string(16 << 20, 'x')),
       "HTTP/1.1 200 OK\r\nContent-Length: 16777216\r\nConnection: close\r\n\r\n" +
           std::string(16 << 20, 'x')},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    auto fixed = [&row](mcp::HTTPRequest, std::string) -> asio::awaitable<mcp::HTTPResponse> {
      co_return row.response;
    };
    HostFixture fixture(fixed);
    const std::string received =
        exchange(static_cast<std::uint16_t>(fixture.port), "POST / HTTP/1.1\r\n\r\n").received;
    // Large answers are compared without printing them.
    if (row.wire.size() < 4096) {
      EXPECT_EQ(received, row.wire);
    } else {
      EXPECT_EQ(received.size(), row.wire.size());
      EXPECT_TRUE(received == row.wire);
    }
  }
}

TEST(HTTPResponseWriter, NamesEveryStatus) {
  std::string named;
  for (const int status : {200, 202, 204, 301, 400, 401, 403, 404, 405, 406, 415, 418, 421, 500})
    named += std::to_string(status) + " " + std::string(HTTPResponseWriter::reason(status)) + "\n";
  EXPECT_EQ(named,
            "200 OK\n202 Accepted\n204 OK\n301 OK\n400 Bad Request\n401 Unauthorized\n"
            "403 Forbidden\n404 Not Found\n405 Method Not Allowed\n406 Not Acceptable\n"
            "415 Unsupported Media Type\n418 Error\n421 Error\n500 Error\n");
}

}  // namespace
}  // namespace melodock

// The loopback HTTP server over real sockets: reading requests, writing responses,
// dropping what cannot be read.
#include <gtest/gtest.h>

#include "host/http_response_writer.h"
#include "tests/host/host_fixture.h"

namespace melodock {
namespace {

using testing::exchange;
using testing::HostFixture;

// Answers with what the server read, so tests can see it from the client side.
asio::awaitable<mcp::HTTPResponse> echo(mcp::HTTPRequest request, std::string) {
  std::string text = request.method + " " + request.path.value_or("?") + "\n";
  for (const auto& [name, value] : request.headers) text += "[" + name + "]=[" + value + "]\n";
  text += request.body ? "body=" + *request.body : "no body";
  co_return mcp::HTTPResponse::data(text);
}

// The body of an HTTP response, after the blank line.
std::string bodyOf(const std::string& response) {
  const auto end = response.find("\r\n\r\n");
  return end == std::string::npos ? "" : response.substr(end + 4);
}

TEST(HttpServer, ReassemblesARequestSentOneByteAtATime) {
  HostFixture fixture(echo);
  fixture.start();
  const std::string request =
      "POST /mcp?x=1 HTTP/1.1\r\nHost: a\r\nContent-Length: 4\r\n\r\n{\"a\"";
  std::vector<std::string> bytes;
  for (char c : request) bytes.emplace_back(1, c);
  const auto result =
      exchange(static_cast<std::uint16_t>(fixture.port), bytes, std::chrono::milliseconds(1));
  EXPECT_EQ(bodyOf(result.received),
            "POST /mcp?x=1\n[Content-Length]=[4]\n[Host]=[a]\nbody={\"a\"");
}

TEST(HttpServer, ParsesRequestLinesAndHeaderLines) {
  struct Row {
    const char* name;
    std::string request;
    std::string seen;
  };
  const std::vector<Row> rows = {
      {"head and body in one segment", "POST /mcp HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}",
       "POST /mcp\n[Content-Length]=[2]\nbody={}"},
      {"get without a body", "GET /mcp HTTP/1.1\r\n\r\n", "GET /mcp\nno body"},
      {"runs of spaces in the request line", "POST    /mcp     HTTP/1.1\r\n\r\n",
       "POST /mcp\nno body"},
      {"no protocol version", "DELETE /x\r\n\r\n", "DELETE /x\nno body"},
      {"header values trimmed, lines without colon skipped",
       "POST / HTTP/1.1\r\n  X-A :\t one two \r\nnot a header\r\nX-B:\r\n\r\n",
       "POST /\n[X-A]=[one two]\n[X-B]=[]\nno body"},
      {"a later header of the same name replaces, other case stays separate",
       "POST / HTTP/1.1\r\nX-A: 1\r\nx-a: 2\r\nX-A: 3\r\n\r\n",
       "POST /\n[X-A]=[3]\n[x-a]=[2]\nno body"},
      {"colon in the value", "POST / HTTP/1.1\r\nHost: 127.0.0.1:80\r\n\r\n",
       "POST /\n[Host]=[127.0.0.1:80]\nno body"},
  };
  HostFixture fixture(echo);
  fixture.start();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(bodyOf(exchange(static_cast<std::uint16_t>(fixture.port), row.request).received),
              row.seen);
  }
}

TEST(HttpServer, FollowsTheContentLengthRules) {
  struct Row {
    const char* name;
    std::string head;
    std::string sent;
    std::optional<std::string> body;  // nothing: dropped without a response
  };
  const std::string full(4194304, 'x');
  const std::vector<Row> rows = {
      {"mixed-case name, spaces around the value", "cOnTeNt-LeNgTh:   3  \r\n", "abc", "abc"},
      {"not a number counts as zero", "Content-Length: abc\r\n", "xy", "xy"},
      {"negative needs no body", "Content-Length: -5\r\n", "", ""},
      {"bytes beyond the length stay in the body", "Content-Length: 2\r\n", "abcd", "abcd"},
      {"plus sign", "Content-Length: +3\r\n", "abc", "abc"},
      {"the ceiling itself is read", "Content-Length: 4194304\r\n", full, full},
      {"one above the ceiling is dropped", "Content-Length: 4194305\r\n", full + "x", std::nullopt},
      {"a body shorter than declared is dropped", "Content-Length: 10\r\n", "abc", std::nullopt},
  };
  auto bodyEcho = [](mcp::HTTPRequest request, std::string) -> asio::awaitable<mcp::HTTPResponse> {
    co_return mcp::HTTPResponse::data(request.body.value_or(""));
  };
  HostFixture fixture(bodyEcho, {.idleTimeout = std::chrono::seconds(10)});
  fixture.start();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto result = exchange(static_cast<std::uint16_t>(fixture.port),
                                 {"POST /mcp HTTP/1.1\r\n" + row.head + "\r\n" + row.sent},
                                 std::chrono::milliseconds(0), std::chrono::milliseconds(3000));
    if (row.body) {
      EXPECT_EQ(bodyOf(result.received), *row.body);
    } else {
      EXPECT_EQ(result.received, "");
    }
  }
}

TEST(HttpServer, WritesOneComputedContentLengthAndConnectionClose) {
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
      {"204 is OK", mcp::HTTPResponse::error(204, mcp::MCPError::connectionClosed()),
       "HTTP/1.1 204 OK\r\nContent-Type: application/json\r\nContent-Length: 81\r\n"
       "Connection: close\r\n\r\n"
       R"({"error":{"code":-32000,"message":"Connection closed"},"id":null,"jsonrpc":"2.0"})"},
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
    fixture.start();
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

TEST(HttpServer, NamesEveryStatus) {
  const std::vector<std::pair<int, std::string_view>> rows = {{200, "OK"},
                                                              {202, "Accepted"},
                                                              {204, "OK"},
                                                              {301, "OK"},
                                                              {400, "Bad Request"},
                                                              {401, "Unauthorized"},
                                                              {403, "Forbidden"},
                                                              {404, "Not Found"},
                                                              {405, "Method Not Allowed"},
                                                              {406, "Not Acceptable"},
                                                              {415, "Unsupported Media Type"},
                                                              {418, "Error"},
                                                              {421, "Error"},
                                                              {500, "Error"}};
  for (const auto& [status, phrase] : rows)
    EXPECT_EQ(HTTPResponseWriter::reason(status), phrase) << status;
}

TEST(HttpServer, DropsWhatItCannotReadAndKeepsServing) {
  struct Row {
    const char* name;
    std::string sent;
  };
  const std::vector<Row> rows = {
      {"invalid UTF-8 in the head", "POST /\xff\xfe HTTP/1.1\r\n\r\n"},
      {"overlong UTF-8 in a header", "POST / HTTP/1.1\r\nX: \xc0\xaf\r\n\r\n"},
      {"one-piece request line", "POST\r\nContent-Length: 0\r\n\r\n"},
      {"empty request line", "\r\n\r\n"},
      {"closed before the head ends", "POST / HTTP/1.1\r\nHost: a\r\n"},
      {"head of 4 MiB without its end", "POST / HTTP/1.1\r\nX: " + std::string(4194304, 'a')},
  };
  HostFixture fixture(echo);
  fixture.start();
  const auto port = static_cast<std::uint16_t>(fixture.port);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto result = exchange(port, row.sent);
    EXPECT_TRUE(result.connected);
    EXPECT_EQ(result.received, "");
    EXPECT_EQ(bodyOf(exchange(port, "GET /ok HTTP/1.1\r\n\r\n").received), "GET /ok\nno body");
  }
}

TEST(HttpServer, WaitsForASlowClientAndDropsASilentOne) {
  HostFixture fixture(echo, {.idleTimeout = std::chrono::milliseconds(200)});
  fixture.start();
  const auto port = static_cast<std::uint16_t>(fixture.port);

  // Ten pieces 100 ms apart take five idle periods in all, each within one.
  const std::string request = "POST /slow HTTP/1.1\r\nContent-Length: 8\r\n\r\n12345678";
  std::vector<std::string> pieces;
  for (std::size_t at = 0; at < request.size(); at += (request.size() + 9) / 10) {
    pieces.push_back(request.substr(at, (request.size() + 9) / 10));
  }
  EXPECT_EQ(bodyOf(exchange(port, pieces, std::chrono::milliseconds(100)).received),
            "POST /slow\n[Content-Length]=[8]\nbody=12345678");

  // Silent after its first line: closed after one idle period instead of waiting 5 s.
  const auto started = std::chrono::steady_clock::now();
  const auto result = exchange(port, {"POST / HTTP/1.1\r\n"}, std::chrono::milliseconds(0),
                               std::chrono::milliseconds(5000), /*stall=*/true);
  EXPECT_EQ(result.received, "");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(2000));
}

TEST(HttpServer, ServesManyConnectionsAtOnce) {
  HostFixture fixture(echo);
  fixture.start();
  std::vector<std::thread> clients;
  std::atomic<int> served = 0;
  for (int i = 0; i < 16; ++i) {
    clients.emplace_back([&, i] {
      for (int k = 0; k < 20; ++k) {
        const std::string path = "/c" + std::to_string(i) + "-" + std::to_string(k);
        const auto result =
            exchange(static_cast<std::uint16_t>(fixture.port), "GET " + path + " HTTP/1.1\r\n\r\n");
        if (bodyOf(result.received) == "GET " + path + "\nno body") ++served;
      }
    });
  }
  for (auto& client : clients) client.join();
  EXPECT_EQ(served, 16 * 20);
}

}  // namespace
}  // namespace melodock

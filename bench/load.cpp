// Load generator for loopback HTTP servers, shaped like MCP clients use Melodock: every
// request opens a fresh connection, sends one POST, reads the answer to the close.
//
//   melodock_bench_load --port P [--name N] [--concurrency 16] [--seconds 5]
//                       [--warmup 1] [--path /mcp] [--header "Name: value"]...
//                       [--body TEXT] [--expect TEXT]
//
// Prints one line: name, requests/s, p50 and p99 latency in ms, and the failures. A
// failure is a refused or reset connection, a status other than 200, or an answer
// that lacks the --expect text.
#include <asio.hpp>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  std::string name = "server";
  unsigned short port = 0;
  int concurrency = 16;
  double seconds = 5;
  double warmup = 1;
  std::string path = "/mcp";
  std::vector<std::string> headers;
  std::string body = "{}";
  std::string expect;
};

struct Tally {
  std::vector<double> latenciesMs;
  long failures = 0;
  std::string firstFailure;
};

struct Run {
  Options options;
  std::string request;
  Clock::time_point measureFrom;
  Clock::time_point stopAt;
  Tally tally;
};

std::string buildRequest(const Options& options) {
  std::string request = "POST " + options.path + " HTTP/1.1\r\n";
  request += "Host: 127.0.0.1:" + std::to_string(options.port) + "\r\n";
  request += "Content-Type: application/json\r\n";
  request += "Accept: application/json, text/event-stream\r\n";
  request += "Connection: close\r\n";
  for (const auto& header : options.headers) request += header + "\r\n";
  request += "Content-Length: " + std::to_string(options.body.size()) + "\r\n\r\n";
  request += options.body;
  return request;
}

// An empty result means the exchange succeeded.
std::string judge(const std::string& answer, const std::string& expect) {
  if (answer.rfind("HTTP/1.1 200 ", 0) != 0 && answer.rfind("HTTP/1.0 200 ", 0) != 0)
    return answer.empty() ? "empty answer" : answer.substr(0, answer.find('\r'));
  if (!expect.empty() && answer.find(expect) == std::string::npos)
    return "answer lacks \"" + expect + "\"";
  return {};
}

asio::awaitable<void> worker(Run& run, asio::ip::tcp::endpoint endpoint) {
  auto executor = co_await asio::this_coro::executor;
  constexpr std::size_t kChunk = std::size_t{16} * 1024;
  std::string answer;
  answer.reserve(kChunk);
  char chunk[kChunk];
  while (Clock::now() < run.stopAt) {
    const auto began = Clock::now();
    std::string failure;
    answer.clear();
    asio::ip::tcp::socket socket(executor);
    try {
      co_await socket.async_connect(endpoint, asio::use_awaitable);
      socket.set_option(asio::ip::tcp::no_delay(true));
      co_await asio::async_write(socket, asio::buffer(run.request), asio::use_awaitable);
      for (;;) {
        asio::error_code error;
        const auto count = co_await socket.async_read_some(
            asio::buffer(chunk), asio::redirect_error(asio::use_awaitable, error));
        answer.append(chunk, count);
        if (error == asio::error::eof) break;
        if (error) throw asio::system_error(error);
      }
      failure = judge(answer, run.options.expect);
    } catch (const asio::system_error& error) {
      failure = error.code().message();
    }
    const auto ended = Clock::now();
    if (began < run.measureFrom || ended > run.stopAt) continue;
    if (failure.empty()) {
      run.tally.latenciesMs.push_back(
          std::chrono::duration<double, std::milli>(ended - began).count());
    } else {
      if (run.tally.failures++ == 0) run.tally.firstFailure = failure;
    }
  }
}

double percentile(std::vector<double>& sorted, double fraction) {
  if (sorted.empty()) return 0;
  const auto index = static_cast<size_t>(fraction * static_cast<double>(sorted.size() - 1));
  return sorted[index];
}

bool parse(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    if (i + 1 >= argc) return false;
    const std::string value = argv[++i];
    if (flag == "--name")
      options.name = value;
    else if (flag == "--port")
      options.port = static_cast<unsigned short>(std::atoi(value.c_str()));
    else if (flag == "--concurrency")
      options.concurrency = std::atoi(value.c_str());
    else if (flag == "--seconds")
      options.seconds = std::atof(value.c_str());
    else if (flag == "--warmup")
      options.warmup = std::atof(value.c_str());
    else if (flag == "--path")
      options.path = value;
    else if (flag == "--header")
      options.headers.push_back(value);
    else if (flag == "--body")
      options.body = value;
    else if (flag == "--expect")
      options.expect = value;
    else
      return false;
  }
  return options.port != 0 && options.concurrency > 0 && options.concurrency <= 1024 &&
         options.seconds > 0 && options.seconds <= 600 && options.warmup >= 0 &&
         options.warmup <= 60;
}

}  // namespace

int main(int argc, char** argv) {
  Run run;
  if (!parse(argc, argv, run.options)) {
    std::cerr << "usage: melodock_bench_load --port P [--name N] [--concurrency C] "
                 "[--seconds S] [--warmup S] [--path P] [--header H]... [--body B] "
                 "[--expect TEXT]\n";
    return 2;
  }
  run.request = buildRequest(run.options);

  // One thread: the generator should take as little of the machine as it can.
  asio::io_context context(1);
  const asio::ip::tcp::endpoint endpoint(asio::ip::make_address_v4("127.0.0.1"), run.options.port);
  const auto start = Clock::now();
  run.measureFrom = start + std::chrono::duration_cast<Clock::duration>(
                                std::chrono::duration<double>(run.options.warmup));
  run.stopAt = run.measureFrom + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double>(run.options.seconds));
  for (int i = 0; i < run.options.concurrency; ++i)
    asio::co_spawn(context, worker(run, endpoint), asio::detached);
  // A server that never closes cannot hold the run past its end.
  context.run_until(run.stopAt + std::chrono::seconds(3));

  auto& latencies = run.tally.latenciesMs;
  std::sort(latencies.begin(), latencies.end());
  const double rate = static_cast<double>(latencies.size()) / run.options.seconds;
  std::printf("%-28s c=%-3d %9.0f req/s  p50 %7.3f ms  p99 %7.3f ms  failures %ld%s%s\n",
              run.options.name.c_str(), run.options.concurrency, rate, percentile(latencies, 0.50),
              percentile(latencies, 0.99), run.tally.failures,
              run.tally.failures > 0 ? " (first: " : "",
              run.tally.failures > 0 ? (run.tally.firstFailure + ")").c_str() : "");
  return run.tally.failures > 0 && latencies.empty() ? 1 : 0;
}

#include "host/mcp_host.h"

#include <sys/resource.h>

#include <algorithm>

#include "host/http_request_reader.h"
#include "host/http_response_writer.h"

namespace melodock {
namespace {

using asio::ip::tcp;

bool outOfDescriptors(const std::error_code& error) {
  // Accept errors carry errno values in the system category.
  const int value = error.value();
  return error.category() == asio::system_category() &&
         (value == EMFILE || value == ENFILE || value == ENOBUFS || value == ENOMEM);
}

// Reports a coroutine that ended by an exception instead of letting it vanish.
void reportFailure(const std::exception_ptr& failure) {
  if (!failure) return;
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "melodock: connection task failed: %s\n", error.what());
  }
}

}  // namespace

std::size_t connectionLimitForDescriptors() {
  constexpr std::size_t kMost = 4096;
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kMost;
  const auto descriptors = static_cast<std::size_t>(limit.rlim_cur);
  const std::size_t reserve = std::max<std::size_t>(32, descriptors / 4);
  return descriptors > reserve ? std::min(descriptors - reserve, kMost) : 1;
}

MCPHost::MCPHost(Executor& executor, const MainActor& main, HostStatus& status,
                 std::function<HostSettings()> settings, Handler handler, Options options)
    : executor_(executor),
      main_(main),
      status_(status),
      settings_(std::move(settings)),
      handler_(std::move(handler)),
      options_(options),
      actor_(executor),
      connectionEnded_(actor_.strand()) {}

asio::awaitable<void> MCPHost::start() {
  co_await actor_.run([this] { return startOnActor(); });
}

std::string MCPHost::token() const {
  std::lock_guard lock(tokenMutex_);
  return token_;
}

asio::awaitable<void> MCPHost::publish(ListenerState state, std::int64_t port, std::string error) {
  auto work = [this, state, port, error = std::move(error)] { status_.update(state, port, error); };
  co_await main_.run(std::move(work));
}

asio::awaitable<void> MCPHost::publishProblem(std::string problem) {
  auto work = [this, problem = std::move(problem)] { status_.setProblem(problem); };
  co_await main_.run(std::move(work));
}

asio::awaitable<void> MCPHost::startOnActor() {
  // The old listener closes and the new one binds with no hop to the main actor in
  // between: while the port is free, any connect() on the machine may take it as its
  // local port, and the rebind would then fail. The states are reported afterwards, in
  // the order they happened.
  std::optional<std::int64_t> cancelledPort;
  if (listener_) {
    listener_->close();
    listener_.reset();
    connectionEnded_.cancel();  // an accept loop waiting for a free slot ends too
    cancelledPort = listenerPort_;
  }

  const HostSettings settings = settings_();
  {
    std::lock_guard lock(tokenMutex_);
    token_ = settings.token;
  }
  const bool usable = settings.port && *settings.port >= 1 && *settings.port <= 65535;
  const std::int64_t port = usable ? *settings.port : 0;
  auto listener = std::make_shared<tcp::acceptor>(actor_.strand());
  std::error_code openError;
  std::error_code error;
  if (usable) listener->open(tcp::v4(), openError);
  if (usable && !openError) {
    listener->set_option(tcp::acceptor::reuse_address(true), error);
    if (!error) {
      listener->bind({asio::ip::address_v4::loopback(), static_cast<std::uint16_t>(port)}, error);
    }
    if (!error) listener->listen(asio::socket_base::max_listen_connections, error);
  }
  // Stored before the hops, so a start that runs meanwhile replaces this listener.
  if (usable && !openError && !error) {
    listener_ = listener;
    listenerPort_ = port;
    asio::co_spawn(actor_.strand(), acceptLoop(listener), reportFailure);
  }

  if (cancelledPort) co_await publish(ListenerState::cancelled, *cancelledPort, {});
  if (!usable) {
    const std::string shown = settings.port ? std::to_string(*settings.port) : settings.storedPort;
    co_await publishProblem("Port " + shown + " cannot be used: choose a port from 1 to 65535.");
    co_return;
  }
  if (openError) {
    co_await publishProblem(openError.message());
    co_return;
  }
  co_await publish(ListenerState::setup, port, {});
  if (error) {
    co_await publish(ListenerState::failed, port, error.message());
    co_return;
  }
  co_await publish(ListenerState::ready, port, {});
}

asio::awaitable<void> MCPHost::acceptLoop(std::shared_ptr<tcp::acceptor> listener) {
  asio::steady_timer backoff(actor_.strand());
  while (listener->is_open()) {
    while (openConnections_ >= options_.maxConnections) {
      connectionEnded_.expires_at(asio::steady_timer::time_point::max());
      co_await connectionEnded_.async_wait(kUseTuple);
      if (!listener->is_open()) co_return;
    }
    // Each connection gets a strand of its own for its coroutine and idle timer; the
    // request's MCP server and transport join it rather than hopping between strands.
    const Strand strand = executor_.makeStrand();
    auto [error, socket] = co_await listener->async_accept(strand, kUseTuple);
    if (error == asio::error::operation_aborted || !listener->is_open()) co_return;
    if (error) {
      // Out of descriptors: the pending connection stays queued; try again shortly
      // rather than spinning or giving up.
      if (outOfDescriptors(error)) {
        backoff.expires_after(options_.acceptBackoff);
        co_await backoff.async_wait(kUseTuple);
      }
      continue;
    }
    ++openConnections_;
    asio::co_spawn(strand, serve(std::move(socket)), [this](const std::exception_ptr& failure) {
      reportFailure(failure);
      asio::post(actor_.strand(), [this] {
        --openConnections_;
        connectionEnded_.cancel();
      });
    });
  }
}

asio::awaitable<void> MCPHost::serve(tcp::socket connection) {
  // The idle timer shares the connection's strand with this coroutine: when it runs out
  // while the request is still being read, it closes the socket under the pending read,
  // which then fails, and the request drops without an answer. Each arrival of bytes
  // winds it up again, so a slow but live client is not cut off.
  //
  // A timer callback rather than Asio's awaitable `||`: under descriptor exhaustion the
  // parallel group of Asio 1.22 let UBSan see a cancellation handler used after it was
  // replaced.
  struct Connection {
    tcp::socket socket;
    bool reading = true;
  };
  auto state = std::make_shared<Connection>(Connection{std::move(connection)});
  asio::steady_timer idle(state->socket.get_executor());
  const std::function<void()> arrived = [&] {
    idle.expires_after(options_.idleTimeout);
    idle.async_wait([weak = std::weak_ptr<Connection>(state)](const std::error_code& error) {
      if (error) return;
      if (auto stalled = weak.lock(); stalled && stalled->reading) {
        std::error_code ignored;
        stalled->socket.close(ignored);
      }
    });
  };
  arrived();
  std::optional<mcp::HTTPRequest> request =
      co_await HTTPRequestReader::readRequest(state->socket, arrived);
  state->reading = false;
  if (!request || !state->socket.is_open()) co_return;  // silent too long, or unreadable
  const mcp::HTTPResponse response = co_await handler_(std::move(*request), token());
  co_await HTTPResponseWriter::write(response, state->socket);
}

}  // namespace melodock

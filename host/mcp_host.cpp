#include "host/mcp_host.h"

#include <future>

#include "mcp/strand.h"

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
void reportFailure(std::exception_ptr failure) {
  if (!failure) return;
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "melodock: connection task failed: %s\n", error.what());
  }
}

}  // namespace

MCPHost::MCPHost(Executor& executor, HostStatus& status, std::function<HostSettings()> settings,
                 Options options)
    : executor_(executor),
      status_(status),
      settings_(std::move(settings)),
      options_(std::move(options)),
      actor_(executor.makeActor()) {}

MCPHost::~MCPHost() {
  std::promise<void> closed;
  asio::dispatch(actor_, [&] {
    if (listener_) listener_->close();
    listener_.reset();
    closed.set_value();
  });
  closed.get_future().wait();
}

asio::awaitable<void> MCPHost::start() {
  co_await onActor(actor_, [this] { startOnActor(); });
}

std::string MCPHost::token() const {
  std::lock_guard lock(tokenMutex_);
  return token_;
}

void MCPHost::publish(ListenerState state, std::int64_t port, std::string error) {
  asio::post(executor_.mainActor(),
             [this, state, port, error = std::move(error)] { status_.update(state, port, error); });
}

void MCPHost::publishProblem(std::string problem) {
  asio::post(executor_.mainActor(),
             [this, problem = std::move(problem)] { status_.setProblem(problem); });
}

void MCPHost::startOnActor() {
  if (listener_) {
    listener_->close();
    listener_.reset();
    publish(ListenerState::cancelled, listenerPort_, {});
  }

  const HostSettings settings = settings_();
  {
    std::lock_guard lock(tokenMutex_);
    token_ = settings.token;
  }
  if (settings.port < 1 || settings.port > 65535) {
    publishProblem("Port " + std::to_string(settings.port) +
                   " cannot be used: choose a port from 1 to 65535.");
    return;
  }
  const auto port = static_cast<std::uint16_t>(settings.port);

  auto listener = std::make_shared<tcp::acceptor>(actor_);
  std::error_code error;
  if (listener->open(tcp::v4(), error); error) {
    publishProblem(error.message());
    return;
  }
  publish(ListenerState::setup, settings.port, {});
  listener->set_option(tcp::acceptor::reuse_address(true), error);
  if (!error) listener->bind({asio::ip::address_v4::loopback(), port}, error);
  if (!error) listener->listen(asio::socket_base::max_listen_connections, error);
  if (error) {
    publish(ListenerState::failed, settings.port, error.message());
    return;
  }

  listener_ = listener;
  listenerPort_ = settings.port;
  publish(ListenerState::ready, settings.port, {});
  asio::co_spawn(actor_, acceptLoop(std::move(listener)), reportFailure);
}

asio::awaitable<void> MCPHost::acceptLoop(std::shared_ptr<tcp::acceptor> listener) {
  asio::steady_timer backoff(actor_);
  while (listener->is_open()) {
    // Each connection gets a strand of its own for its coroutine and idle timer; the
    // request's MCP server and transport join it rather than hopping between strands.
    const mcp::Strand strand = asio::make_strand(executor_.pool());
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
    asio::co_spawn(strand, serve(std::move(socket)), reportFailure);
  }
}

asio::awaitable<void> MCPHost::serve(tcp::socket connection) {
  // The idle timer and the coroutine share the connection's strand, so the timer may
  // close the socket under a pending read; the read then fails and the request drops.
  // Once the request is in, the timer no longer closes anything, but it stays queued
  // until the connection ends: cancelling it sooner would often leave the reactor
  // with no timer, and re-arming the reactor's clock costs a system call.
  struct Connection {
    tcp::socket socket;
    bool reading = true;
  };
  auto state = std::make_shared<Connection>(Connection{std::move(connection)});
  tcp::socket* socket = &state->socket;
  asio::steady_timer idle(socket->get_executor(), options_.idleTimeout);
  idle.async_wait([weak = std::weak_ptr<Connection>(state)](const std::error_code& error) {
    if (error) return;
    if (auto stalled = weak.lock(); stalled && stalled->reading) {
      std::error_code ignored;
      stalled->socket.close(ignored);
    }
  });
  std::optional<mcp::HTTPRequest> request = co_await readRequest(*socket);
  state->reading = false;
  std::error_code ignored;
  if (request && socket->is_open()) {
    // Plain statements only: g++ 12 miscompiles co_await inside a conditional operator
    // and destroys temporaries built in a co_await's arguments too early.
    std::optional<mcp::HTTPResponse> response;
    if (options_.handler) {
      response.emplace(co_await options_.handler(*request, token()));
    } else {
      ClientRecorder recorder{executor_.mainActor(), &status_, options_.clientConnected};
      response.emplace(co_await handle(std::move(*request), token(), std::move(recorder)));
    }
    co_await write(*response, *socket);
  }
  socket->close(ignored);
}

}  // namespace melodock

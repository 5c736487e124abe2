#include "platform/dbus_connection.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <sdbus-c++/sdbus-c++.h>

namespace melodock {
namespace {

// Messages handled in one turn on the strand before other work gets its turn.
constexpr int kBatch = 64;

}  // namespace

std::shared_ptr<DBusConnection> DBusConnection::open(Bus bus,
                                                     const asio::any_io_executor& executor) {
  try {
    auto connection = bus == Bus::kSystem ? sdbus::createSystemBusConnection()
                                          : sdbus::createSessionBusConnection();
    return std::shared_ptr<DBusConnection>(new DBusConnection(std::move(connection), executor));
  } catch (const sdbus::Error&) {
    return nullptr;  // no bus: whatever needs one does nothing
  } catch (const std::system_error&) {
    return nullptr;  // out of descriptors, or none to watch
  }
}

DBusConnection::DBusConnection(std::unique_ptr<sdbus::IConnection> connection,
                               const asio::any_io_executor& executor)
    : connection_(std::move(connection)),
      strand_(asio::make_strand(executor)),
      descriptor_(strand_),
      deadline_(strand_) {
  const int watched = ::fcntl(connection_->getEventLoopPollData().fd, F_DUPFD_CLOEXEC, 0);
  if (watched < 0) throw std::system_error(errno, std::system_category(), "dup");
  std::error_code failed;
  descriptor_.assign(watched, failed);
  if (failed) {
    ::close(watched);
    throw std::system_error(failed, "watch");
  }
}

DBusConnection::~DBusConnection() = default;

void DBusConnection::setUp(Work work) {
  {
    std::lock_guard lock(mutex_);
    if (started_) {
      postStarted(std::move(work));
      return;
    }
  }
  work();
}

void DBusConnection::start() {
  std::lock_guard lock(mutex_);
  if (started_) return;
  started_ = true;
  // Posting under the lock keeps this ahead of anything posted once started_ is seen.
  asio::post(strand_, [self = shared_from_this(), waiting = std::move(waiting_)] {
    for (const Work& work : waiting) work();
    self->process();
  });
  waiting_.clear();
}

void DBusConnection::post(Work work) {
  std::lock_guard lock(mutex_);
  if (!started_) {
    waiting_.push_back(std::move(work));
    return;
  }
  postStarted(std::move(work));
}

void DBusConnection::postStarted(Work work) {
  asio::post(strand_, [self = shared_from_this(), work = std::move(work)] {
    work();
    self->arm();
  });
}

bool DBusConnection::isOpen() const { return !closed_; }

void DBusConnection::process() {
  if (closed_) return;
  int failures = 0;
  for (int handled = 0; handled < kBatch; ++handled) {
    try {
      if (!connection_->processPendingRequest()) {
        arm();
        return;
      }
    } catch (const sdbus::Error&) {
      // A lost bus fails here, and so does a callback that reported an error; arm()
      // tells them apart, as only a lost bus cannot say what it waits for.
      ++failures;
    }
  }
  if (failures == kBatch) {
    close();
    return;
  }
  // More is waiting: let other work on the pool run first.
  asio::post(strand_, [self = shared_from_this()] { self->process(); });
}

void DBusConnection::arm() {
  if (closed_) return;
  sdbus::IConnection::PollData poll{};
  try {
    poll = connection_->getEventLoopPollData();
  } catch (const sdbus::Error&) {
    close();  // the bus went away: stay silent from now on
    return;
  }
  const std::uint64_t generation = ++generation_;
  std::error_code ignored;
  descriptor_.cancel(ignored);
  deadline_.cancel();
  auto onReady = [weak = weak_from_this(), generation](const std::error_code&) {
    const auto self = weak.lock();
    if (self && self->generation_ == generation) self->process();
  };
  descriptor_.async_wait(asio::posix::descriptor_base::wait_read,
                         asio::bind_executor(strand_, onReady));
  if ((poll.events & POLLOUT) != 0) {
    descriptor_.async_wait(asio::posix::descriptor_base::wait_write,
                           asio::bind_executor(strand_, onReady));
  }
  // Reply deadlines of pending calls: sd-bus acts on them only when asked to process.
  if (const auto timeout = poll.getRelativeTimeout()) {
    deadline_.expires_after(*timeout);
    deadline_.async_wait(asio::bind_executor(strand_, onReady));
  }
}

void DBusConnection::close() {
  closed_ = true;
  ++generation_;
  std::error_code ignored;
  descriptor_.close(ignored);
  deadline_.cancel();
}

}  // namespace melodock

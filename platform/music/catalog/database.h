// A thread that owns one SQLite connection. Work handed to `run` executes there, one
// piece at a time and in the order given, and the caller resumes on its own executor:
// SQLite never runs on a pool thread or on the main actor.
//
//   int count = co_await database.run([](sqlite3* db) { return countRows(db); });
//
// Inside a coroutine, build work that owns memory as a named local first (g++ 12
// copies a temporary inside a co_await expression bit by bit).
#pragma once

#include <sqlite3.h>

#include <exception>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>

#include <asio.hpp>

namespace melodock {

// A failure reported by SQLite, with its result code.
class DatabaseError : public std::runtime_error {
 public:
  DatabaseError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
  [[nodiscard]] int code() const { return code_; }

 private:
  int code_;
};

// Throws DatabaseError when `result` is not one of SQLite's success codes.
void checkSQLite(sqlite3* connection, int result);

class Database {
 public:
  enum class Access {
    readWrite,  // opens the file, creating it when missing
    readOnly,
    immutable,  // read-only and never changed by anyone: SQLite takes no locks
  };

  // Starts the thread, which opens `file` and then runs `setup` (pragmas, schema,
  // migrations) before any work. When either fails, every `run` fails with that error.
  explicit Database(std::filesystem::path file, Access access = Access::readWrite,
                    std::function<void(sqlite3*)> setup = {});
  // Finishes the work already handed over, then closes the connection. A strand or
  // other shared executor that callers resume on must outlive this object; a plain
  // io_context's may go as soon as its result has arrived.
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Runs `work(sqlite3*)` on the database thread and completes with its result, or its
  // exception, on the executor associated with the completion handler (for
  // asio::use_awaitable: the awaiting coroutine's own). `work` must not keep the
  // connection. A non-void result must be default-constructible.
  template <typename Work, typename CompletionToken = asio::use_awaitable_t<>>
  auto run(Work work, CompletionToken&& token = {}) {
    using Result = std::invoke_result_t<Work&, sqlite3*>;
    if constexpr (std::is_void_v<Result>) {
      return asio::async_initiate<CompletionToken, void(std::exception_ptr)>(
          [this](auto handler, Work work) { this->start(std::move(handler), std::move(work)); },
          token, std::move(work));
    } else {
      static_assert(std::is_default_constructible_v<Result>,
                    "a failed run completes with a default-constructed result");
      return asio::async_initiate<CompletionToken, void(std::exception_ptr, Result)>(
          [this](auto handler, Work work) { this->start(std::move(handler), std::move(work)); },
          token, std::move(work));
    }
  }

 private:
  template <typename Handler, typename Work>
  void start(Handler handler, Work work) {
    // `home` keeps the caller's executor counted as busy until the result is back; it
    // travels with the result and is dropped on the caller's side. The result is posted
    // through `target`, which counts nothing, so that this thread, once the result is
    // handed over, releases nothing the caller may have torn down in the meantime.
    auto home = asio::prefer(asio::get_associated_executor(handler),
                             asio::execution::outstanding_work.tracked);
    auto target = asio::prefer(asio::get_associated_executor(handler),
                               asio::execution::outstanding_work.untracked);
    asio::post(context_, [this, handler = std::move(handler), work = std::move(work),
                          home = std::move(home), target = std::move(target)]() mutable {
      using Result = std::invoke_result_t<Work&, sqlite3*>;
      std::exception_ptr error = openError_;
      if constexpr (std::is_void_v<Result>) {
        if (!error) {
          try {
            work(connection_);
          } catch (...) {
            error = std::current_exception();
          }
        }
        asio::post(target, [handler = std::move(handler), home = std::move(home), error]() mutable {
          std::move(handler)(error);
        });
      } else {
        Result result{};
        if (!error) {
          try {
            result = work(connection_);
          } catch (...) {
            error = std::current_exception();
          }
        }
        asio::post(target, [handler = std::move(handler), home = std::move(home), error,
                            result = std::move(result)]() mutable {
          std::move(handler)(error, std::move(result));
        });
      }
    });
  }

  void open(const std::filesystem::path& file, Access access,
            const std::function<void(sqlite3*)>& setup);

  asio::io_context context_{1};
  asio::executor_work_guard<asio::io_context::executor_type> work_;
  sqlite3* connection_ = nullptr;  // touched on the database thread only
  std::exception_ptr openError_;   // written before the first work runs
  std::thread thread_;
};

}  // namespace melodock

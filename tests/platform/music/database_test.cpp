// The database thread: where work runs, where callers resume, and how failures travel.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <numeric>
#include <thread>
#include <vector>

#include "platform/executor.h"
#include "platform/music/catalog/database.h"
#include "platform/music/catalog/statement.h"
#include "tests/platform/music/catalog_fixture.h"
#include "tests/support/loopback.h"

namespace melodock {
namespace {

using detail::execute;
using detail::Statement;

TEST(Database, RunsWorkOnItsOwnThreadAndResumesEachCallerOnItsActor) {
  testing::TempDir dir;
  Executor executor(2);
  // No waiting for the disk between inserts: this test is about threads. Destroyed
  // before the executor its callers run on.
  Database database(dir.path() / "a.sqlite", Database::Access::readWrite,
                    [](sqlite3* db) { execute(db, "PRAGMA synchronous = OFF"); });
  std::atomic<int> created = 0;
  auto caller = [&](Strand actor, int id) -> asio::awaitable<std::vector<std::int64_t>> {
    auto create = [&](sqlite3* db) {
      execute(db, "CREATE TABLE IF NOT EXISTS t(caller INTEGER, n INTEGER)");
      ++created;
    };
    co_await database.run(create);
    std::vector<std::int64_t> seen;
    for (int n = 0; n < 50; ++n) {
      const auto callerThread = std::this_thread::get_id();
      auto insert = [&, callerThread](sqlite3* db) {
        EXPECT_NE(std::this_thread::get_id(), callerThread);
        Statement(db, "INSERT INTO t VALUES (?, ?)").bind(1, id).bind(2, n).run();
        return sqlite3_last_insert_rowid(db);
      };
      seen.push_back(co_await database.run(insert));
      EXPECT_TRUE(actor.running_in_this_thread());
    }
    co_return seen;
  };
  Strand first = executor.makeStrand();
  Strand second = executor.makeStrand();
  auto a = asio::co_spawn(first, caller(first, 1), asio::use_future);
  auto b = asio::co_spawn(second, caller(second, 2), asio::use_future);
  std::vector<std::int64_t> rows = a.get();
  const std::vector<std::int64_t> more = b.get();
  rows.insert(rows.end(), more.begin(), more.end());
  std::sort(rows.begin(), rows.end());
  std::vector<std::int64_t> expected(100);
  std::iota(expected.begin(), expected.end(), 1);
  EXPECT_EQ(rows, expected);  // every insert ran exactly once, one at a time
  EXPECT_EQ(created, 2);
}

TEST(Database, RunsWorkInTheOrderItWasHandedOver) {
  testing::TempDir dir;
  std::vector<int> order;  // written on the database thread only
  std::vector<int> completed;
  asio::io_context caller;
  {
    Database database(dir.path() / "a.sqlite");
    for (int i = 0; i < 20; ++i) {
      database.run([&order, i](sqlite3*) { order.push_back(i); },
                   asio::bind_executor(caller, [&completed, i](const std::exception_ptr& error) {
                     EXPECT_FALSE(error);
                     completed.push_back(i);
                   }));
    }
    caller.run();  // returns once every completion has arrived
  }
  std::vector<int> expected(20);
  std::iota(expected.begin(), expected.end(), 0);
  EXPECT_EQ(order, expected);
  EXPECT_EQ(completed, expected);
}

TEST(Database, CarriesFailuresBackToTheCaller) {
  testing::TempDir dir;
  Database database(dir.path() / "a.sqlite");
  auto badSQL = [](sqlite3* db) { return Statement(db, "SELEC 1").step(); };
  const auto error = caught<DatabaseError>([&] { await(database.run(badSQL)); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), SQLITE_ERROR);
  EXPECT_STREQ(error->what(), "near \"SELEC\": syntax error");
  auto throws = [](sqlite3*) -> int { throw std::logic_error("from the work"); };
  EXPECT_EQ(errorText<std::logic_error>([&] { await(database.run(throws)); }), "from the work");
  // The thread survives both.
  auto one = [](sqlite3* db) {
    Statement statement(db, "SELECT 1");
    statement.step();
    return statement.integer(0);
  };
  EXPECT_EQ(await(database.run(one)), 1);
}

TEST(Database, AFailedOpenFailsEveryRun) {
  testing::TempDir dir;
  using Access = Database::Access;
  struct Row {
    const char* name;
    std::filesystem::path file;
    Access access;
    int code;
    std::function<void(sqlite3*)> setup;
  };
  const std::vector<Row> rows = {
      {"missing read-only file", dir.path() / "missing.sqlite", Access::immutable, SQLITE_CANTOPEN,
       nullptr},
      {"folder missing", dir.path() / "no" / "a.sqlite", Access::readWrite, SQLITE_CANTOPEN,
       nullptr},
      {"setup fails", dir.path() / "b.sqlite", Access::readWrite, SQLITE_ERROR,
       [](sqlite3* db) { execute(db, "CREATE TABLE"); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Database database(row.file, row.access, row.setup);
    for (int attempt = 0; attempt < 2; ++attempt) {
      std::promise<std::exception_ptr> failure;
      asio::io_context caller;
      bool ran = false;
      database.run([&](sqlite3*) { ran = true; },
                   asio::bind_executor(caller, [&](const std::exception_ptr& error) {
                     EXPECT_TRUE(caller.get_executor().running_in_this_thread());
                     failure.set_value(error);
                   }));
      caller.run();
      const std::exception_ptr told = failure.get_future().get();
      ASSERT_TRUE(told);
      const auto error = caught<DatabaseError>([&] { std::rethrow_exception(told); });
      ASSERT_TRUE(error) << "no DatabaseError";
      EXPECT_EQ(error->code() & 0xff, row.code);
      EXPECT_FALSE(ran);
    }
  }
}

}  // namespace
}  // namespace melodock

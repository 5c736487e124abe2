// A prepared SQLite statement that finalizes itself, with typed binds and columns.
// Used on a database thread only.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace melodock::detail {

class Statement {
 public:
  // Prepares the first statement of `sql`; throws DatabaseError when it does not
  // compile. `persistent` tells SQLite that the statement will be reused many times.
  Statement(sqlite3* connection, std::string_view sql, bool persistent = false);
  Statement(Statement&& other) noexcept
      : connection_(other.connection_), statement_(std::exchange(other.statement_, nullptr)) {}
  Statement& operator=(Statement&&) = delete;
  Statement(const Statement&) = delete;
  ~Statement() { sqlite3_finalize(statement_); }

  // Parameters count from 1, as in SQLite. Text is copied.
  Statement& bind(int index, std::int64_t value);
  Statement& bind(int index, int value) { return bind(index, static_cast<std::int64_t>(value)); }
  Statement& bind(int index, double value);
  Statement& bind(int index, std::string_view value);
  Statement& bind(int index, const char* value) { return bind(index, std::string_view(value)); }
  Statement& bindNull(int index);
  template <typename T>
  Statement& bind(int index, const std::optional<T>& value) {
    return value ? bind(index, *value) : bindNull(index);
  }

  // Moves to the next row: true while there is one. Throws DatabaseError on failure.
  bool step();
  // Steps through to the end, for statements without rows.
  void run();
  // Makes the statement ready to run again with no parameters bound.
  void reset();

  // Columns count from 0.
  [[nodiscard]] bool isNull(int column) const;
  [[nodiscard]] std::int64_t integer(int column) const;
  [[nodiscard]] double real(int column) const;
  [[nodiscard]] std::string_view text(int column) const;  // valid until the next step
  [[nodiscard]] std::string_view blob(int column) const;  // valid until the next step
  [[nodiscard]] std::optional<std::string> optionalText(int column) const;
  [[nodiscard]] std::optional<std::int64_t> optionalInteger(int column) const;

  [[nodiscard]] sqlite3_stmt* get() const { return statement_; }

 private:
  sqlite3* connection_;
  sqlite3_stmt* statement_ = nullptr;
};

// Runs `sql`, one or more statements without results. Throws DatabaseError.
void execute(sqlite3* connection, const char* sql);

// One change, all or nothing: rolled back unless committed.
class Transaction {
 public:
  explicit Transaction(sqlite3* connection) : connection_(connection) {
    execute(connection_, "BEGIN IMMEDIATE");
  }
  ~Transaction() {
    if (!committed_) sqlite3_exec(connection_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void commit() {
    execute(connection_, "COMMIT");
    committed_ = true;
  }

 private:
  sqlite3* connection_;
  bool committed_ = false;
};

// A statement borrowed from a StatementCache; resets it when dropped, so that no
// read stays open between uses.
class CachedStatement {
 public:
  explicit CachedStatement(Statement& statement) : statement_(statement) {}
  ~CachedStatement() { statement_.reset(); }
  CachedStatement(const CachedStatement&) = delete;
  CachedStatement& operator=(const CachedStatement&) = delete;
  Statement& operator*() const { return statement_; }
  Statement* operator->() const { return &statement_; }

 private:
  Statement& statement_;
};

// Prepared statements kept for the life of one connection, found by their text.
class StatementCache {
 public:
  [[nodiscard]] CachedStatement operator()(sqlite3* connection, const std::string& sql);

 private:
  std::unordered_map<std::string, Statement> statements_;
};

// Every row of `sql` with `values` bound to ?1, ?2, ... in turn, made into items.
template <typename Make, typename... Values>
auto all(StatementCache& statements, sqlite3* connection, const std::string& sql, Make make,
         const Values&... values) {
  auto query = statements(connection, sql);
  int index = 0;
  (query->bind(++index, values), ...);
  std::vector<decltype(make(*query))> found;
  while (query->step()) found.push_back(make(*query));
  return found;
}

}  // namespace melodock::detail

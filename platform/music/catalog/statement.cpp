#include "platform/music/catalog/statement.h"

#include "platform/music/catalog/database.h"

namespace melodock::detail {

Statement::Statement(sqlite3* connection, std::string_view sql, bool persistent)
    : connection_(connection) {
  checkSQLite(connection_,
              sqlite3_prepare_v3(connection_, sql.data(), static_cast<int>(sql.size()),
                                 persistent ? SQLITE_PREPARE_PERSISTENT : 0, &statement_, nullptr));
}

Statement& Statement::bind(int index, std::int64_t value) {
  checkSQLite(connection_, sqlite3_bind_int64(statement_, index, value));
  return *this;
}

Statement& Statement::bind(int index, double value) {
  checkSQLite(connection_, sqlite3_bind_double(statement_, index, value));
  return *this;
}

Statement& Statement::bind(int index, std::string_view value) {
  checkSQLite(connection_, sqlite3_bind_text64(statement_, index, value.data(), value.size(),
                                               SQLITE_TRANSIENT, SQLITE_UTF8));
  return *this;
}

Statement& Statement::bindNull(int index) {
  checkSQLite(connection_, sqlite3_bind_null(statement_, index));
  return *this;
}

bool Statement::step() {
  const int result = sqlite3_step(statement_);
  if (result == SQLITE_ROW) return true;
  if (result == SQLITE_DONE) return false;
  const DatabaseError error(result, sqlite3_errmsg(connection_));
  sqlite3_reset(statement_);
  throw error;
}

void Statement::run() {
  while (step()) {
  }
}

void Statement::reset() {
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

bool Statement::isNull(int column) const {
  return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

std::int64_t Statement::integer(int column) const {
  return sqlite3_column_int64(statement_, column);
}

double Statement::real(int column) const { return sqlite3_column_double(statement_, column); }

std::string_view Statement::text(int column) const {
  const auto* bytes = sqlite3_column_text(statement_, column);
  if (!bytes) return {};
  return {reinterpret_cast<const char*>(bytes),
          static_cast<std::size_t>(sqlite3_column_bytes(statement_, column))};
}

std::string_view Statement::blob(int column) const {
  const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement_, column));
  if (!bytes) return {};
  return {bytes, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column))};
}

std::optional<std::string> Statement::optionalText(int column) const {
  if (isNull(column)) return std::nullopt;
  return std::string(text(column));
}

std::optional<std::int64_t> Statement::optionalInteger(int column) const {
  if (isNull(column)) return std::nullopt;
  return integer(column);
}

void execute(sqlite3* connection, const char* sql) {
  char* message = nullptr;
  const int result = sqlite3_exec(connection, sql, nullptr, nullptr, &message);
  if (result != SQLITE_OK) {
    const std::string text = message ? message : sqlite3_errstr(result);
    sqlite3_free(message);
    throw DatabaseError(result, text);
  }
}

CachedStatement StatementCache::operator()(sqlite3* connection, const std::string& sql) {
  auto found = statements_.find(sql);
  if (found == statements_.end()) found = statements_.try_emplace(sql, connection, sql, true).first;
  return CachedStatement(found->second);
}

}  // namespace melodock::detail

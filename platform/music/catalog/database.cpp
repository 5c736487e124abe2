#include "platform/music/catalog/database.h"

#include "base/percent_encoding.h"

namespace melodock {
void checkSQLite(sqlite3* connection, int result) {
  if (result == SQLITE_OK || result == SQLITE_ROW || result == SQLITE_DONE) return;
  const char* message = connection ? sqlite3_errmsg(connection) : sqlite3_errstr(result);
  throw DatabaseError(result, message);
}

Database::Database(std::filesystem::path file, Access access, std::function<void(sqlite3*)> setup)
    : work_(asio::make_work_guard(context_)) {
  thread_ = std::thread([this, file = std::move(file), access, setup = std::move(setup)] {
    open(file, access, setup);
    context_.run();
    sqlite3_close_v2(connection_);
  });
}

Database::~Database() {
  work_.reset();
  thread_.join();
}

void Database::open(const std::filesystem::path& file, Access access,
                    const std::function<void(sqlite3*)>& setup) {
  int flags = SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI;
  std::string name = "file:" + percentEncodedPath(file.string());
  switch (access) {
    case Access::readWrite:
      flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
      break;
    case Access::readOnly:
      flags |= SQLITE_OPEN_READONLY;
      break;
    case Access::immutable:
      flags |= SQLITE_OPEN_READONLY;
      name += "?immutable=1";
      break;
  }
  try {
    const int result = sqlite3_open_v2(name.c_str(), &connection_, flags, nullptr);
    if (result != SQLITE_OK) {
      const std::string reason = connection_ ? sqlite3_errmsg(connection_) : sqlite3_errstr(result);
      throw DatabaseError(result, reason + ": " + file.string());
    }
    sqlite3_extended_result_codes(connection_, 1);
    // Another process may hold a write lock for a moment (a second instance).
    sqlite3_busy_timeout(connection_, 2000);
    if (setup) setup(connection_);
  } catch (...) {
    openError_ = std::current_exception();
    sqlite3_close_v2(connection_);
    connection_ = nullptr;
  }
}

}  // namespace melodock

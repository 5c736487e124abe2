#include "platform/music/detail/query_words.h"

#include <stdexcept>

#include "platform/music/database.h"
#include "platform/music/detail/statement.h"

namespace melodock::detail {
namespace {

int collectToken(void* context, int flags, const char* token, int size, int, int) {
  if (flags & FTS5_TOKEN_COLOCATED) return SQLITE_OK;
  auto& words = *static_cast<std::vector<std::string>*>(context);
  if (words.size() < QueryWords::kMaxWords) words.emplace_back(token, size);
  return SQLITE_OK;
}

}  // namespace

fts5_api* fts5(sqlite3* connection) {
  fts5_api* api = nullptr;
  Statement query(connection, "SELECT fts5(?1)");
  checkSQLite(connection, sqlite3_bind_pointer(query.get(), 1, static_cast<void*>(&api),
                                               "fts5_api_ptr", nullptr));
  query.step();
  if (!api) throw std::runtime_error("SQLite was built without FTS5");
  return api;
}

QueryWords::QueryWords(sqlite3* connection) : connection_(connection) {
  fts5_api* api = fts5(connection_);
  void* userData = nullptr;
  checkSQLite(connection_, api->xFindTokenizer(api, "unicode61", &userData, &api_));
  const char* arguments[] = {"remove_diacritics", "2"};
  checkSQLite(connection_, api_.xCreate(userData, arguments, 2, &tokenizer_));
}

QueryWords::~QueryWords() {
  if (tokenizer_) api_.xDelete(tokenizer_);
}

std::vector<std::string> QueryWords::operator()(std::string_view text) const {
  std::vector<std::string> words;
  checkSQLite(connection_, api_.xTokenize(tokenizer_, &words, FTS5_TOKENIZE_QUERY, text.data(),
                                          static_cast<int>(text.size()), collectToken));
  return words;
}

void addPhrase(std::string& match, std::string_view word, bool prefix) {
  match += '"';
  for (const char c : word) match += c == '"' ? std::string("\"\"") : std::string(1, c);
  match += prefix ? "\"*" : "\"";
}

std::size_t characters(std::string_view utf8) {
  std::size_t count = 0;
  for (const char c : utf8) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

}  // namespace melodock::detail

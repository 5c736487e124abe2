#include "platform/music/catalog/query_words.h"

#include <stdexcept>

#include "platform/music/catalog/database.h"
#include "platform/music/catalog/statement.h"

namespace melodock::detail {
namespace {

struct Collected {
  std::vector<std::string> words;
  std::size_t maxWords;
};

int collectToken(void* context, int flags, const char* token, int size, int, int) {
  if (flags & FTS5_TOKEN_COLOCATED) return SQLITE_OK;
  auto& collected = *static_cast<Collected*>(context);
  if (collected.words.size() < collected.maxWords) collected.words.emplace_back(token, size);
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

QueryWords::QueryWords(sqlite3* connection, bool foldDiacritics, std::size_t maxWords)
    : connection_(connection), maxWords_(maxWords) {
  fts5_api* api = fts5(connection_);
  void* userData = nullptr;
  checkSQLite(connection_, api->xFindTokenizer(api, "unicode61", &userData, &api_));
  const char* arguments[] = {"remove_diacritics", foldDiacritics ? "2" : "0"};
  checkSQLite(connection_, api_.xCreate(userData, arguments, 2, &tokenizer_));
}

QueryWords::~QueryWords() {
  if (tokenizer_) api_.xDelete(tokenizer_);
}

std::vector<std::string> QueryWords::operator()(std::string_view text) const {
  Collected collected{{}, maxWords_};
  checkSQLite(connection_, api_.xTokenize(tokenizer_, &collected, FTS5_TOKENIZE_QUERY, text.data(),
                                          static_cast<int>(text.size()), collectToken));
  return std::move(collected.words);
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

// The words of a search text as an FTS5 index with "unicode61 remove_diacritics 2"
// holds them (folded, without diacritics), by the very tokenizer those indexes use,
// and the FTS5 phrases that match them.
#pragma once

#include <sqlite3.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace melodock::detail {

class QueryWords {
 public:
  // Words of a text beyond this many are ignored.
  static constexpr std::size_t kMaxWords = 8;

  // Uses `connection`'s FTS5 tokenizer; `connection` must outlive this. Without
  // `foldDiacritics` the words keep their diacritics (still folded to lower case).
  explicit QueryWords(sqlite3* connection, bool foldDiacritics = true,
                      std::size_t maxWords = kMaxWords);
  ~QueryWords();
  QueryWords(const QueryWords&) = delete;
  QueryWords& operator=(const QueryWords&) = delete;

  [[nodiscard]] std::vector<std::string> operator()(std::string_view text) const;

 private:
  sqlite3* connection_;
  std::size_t maxWords_;
  fts5_tokenizer api_{};
  Fts5Tokenizer* tokenizer_ = nullptr;
};

// Returns the fts5_api of `connection`; throws when SQLite has no FTS5.
fts5_api* fts5(sqlite3* connection);

// Appends `word` to an FTS5 expression as a quoted phrase, `*` making it a word start.
void addPhrase(std::string& match, std::string_view word, bool prefix);

// The number of characters (code points) of UTF-8 text.
std::size_t characters(std::string_view utf8);

}  // namespace melodock::detail

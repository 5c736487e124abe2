// Full-text search over the catalog's FTS5 tables, on the database thread.
//
// A query matches items holding every one of its words, each word as the start of a
// word (one-letter words whole), case and diacritics ignored. Among the most popular
// kCandidates matches, items rank by BM25 relevance and then by popularity. BM25 here
// takes each word's document frequency from `search_term` instead of counting the
// matches, so a query costs the same however many items match it.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/music/detail/catalog_schema.h"
#include "platform/music/detail/statement.h"

namespace melodock::detail {

class SearchIndex {
 public:
  // Matches read per query, most popular first; relevance orders these.
  static constexpr int kCandidates = 1000;
  // Words of a query beyond this many are ignored.
  static constexpr std::size_t kMaxWords = 8;

  // Registers the relevance function with `connection`, which must outlive this.
  explicit SearchIndex(sqlite3* connection);
  ~SearchIndex();
  SearchIndex(const SearchIndex&) = delete;
  SearchIndex& operator=(const SearchIndex&) = delete;

  // The words of `text` as the index holds them: folded, without diacritics.
  [[nodiscard]] std::vector<std::string> words(std::string_view text) const;

  // The popularity ranks (FTS rowids) of the best matches of `text` in `source`,
  // best first, at most `limit`.
  [[nodiscard]] std::vector<std::int64_t> search(SearchSource source, std::string_view text,
                                                 int limit);

 private:
  double inverseFrequency(SearchSource source, const std::string& word, bool prefix);

  sqlite3* connection_;
  fts5_tokenizer tokenizerApi_{};
  Fts5Tokenizer* tokenizer_ = nullptr;
  StatementCache statements_;
  std::unordered_map<std::string, double> inverseFrequencies_;
  std::int64_t rows_[5] = {-1, -1, -1, -1, -1};
};

}  // namespace melodock::detail

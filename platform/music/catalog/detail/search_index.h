// Full-text search over the catalog's FTS5 tables, on the database thread.
//
// A query matches items holding every one of its words, each word also as the start
// of a longer word (one-letter words whole), case and diacritics ignored. Among the
// most popular kCandidates matches, items rank by BM25 relevance and then by
// popularity.
//
// What keeps a query's cost flat as the catalog grows: FTS5 reads matches in rowid
// (popularity) order and stops after kCandidates; word starts of two or three letters
// come from FTS5's prefix index, longer ones become the kMaxCompletions most frequent
// words they start, so no match list is ever read whole; and BM25 takes document
// frequencies from `search_term` and row lengths from memory instead of counting or
// reading them per query.
#pragma once

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/music/catalog/detail/catalog_schema.h"
#include "platform/music/catalog/query_words.h"
#include "platform/music/catalog/statement.h"

namespace melodock::detail {

class SearchIndex {
 public:
  // Matches read per query, most popular first; relevance orders these.
  static constexpr int kCandidates = 500;
  static constexpr std::size_t kMaxWords = QueryWords::kMaxWords;
  // Longer words a word start of four or more letters stands for.
  static constexpr int kMaxCompletions = 16;

  // Registers the relevance function with `connection`, which must outlive this.
  explicit SearchIndex(sqlite3* connection);
  SearchIndex(const SearchIndex&) = delete;
  SearchIndex& operator=(const SearchIndex&) = delete;

  // The popularity ranks (FTS rowids) of the best matches of `text` in `source`,
  // best first, at most `limit`.
  [[nodiscard]] std::vector<std::int64_t> search(SearchSource source, std::string_view text,
                                                 int limit);

 private:
  // What relevance needs of one FTS table, read once.
  struct Table {
    bool loaded = false;
    std::int64_t rows = 0;
    double averageLength = 1;
    std::string lengths;  // byte i: tokens of rowid i + 1
  };
  // The query being run: what relevance reads while the FTS query steps. Each FTS5
  // phrase stands for one query word, fully (the word itself) or in part (a longer
  // word it starts).
  struct Query {
    const Table* table = nullptr;
    const double* weights = nullptr;         // per column
    std::vector<double> inverseFrequencies;  // per query word
    std::vector<std::size_t> wordOfPhrase;
    std::vector<double> shareOfPhrase;
  };

  static void relevance(const Fts5ExtensionApi* api, Fts5Context* fts, sqlite3_context* result,
                        int argc, sqlite3_value** argv);
  const Table& table(SearchSource source);
  // Appends the FTS5 expression for one word to `match` and what relevance needs of it
  // to `query_`. False when no row can match it.
  bool addWord(SearchSource source, const std::string& word, std::string& match);
  std::int64_t documents(SearchSource source, const std::string& word, bool prefix);
  double inverseFrequency(SearchSource source, std::int64_t documents);

  sqlite3* connection_;
  QueryWords words_;
  StatementCache statements_;
  Table tables_[5];
  Query query_;
  std::unordered_map<std::string, std::int64_t> prefixDocuments_;
};

}  // namespace melodock::detail

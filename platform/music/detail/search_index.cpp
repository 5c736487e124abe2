#include "platform/music/detail/search_index.h"

#include <sqlite3.h>

#include <array>
#include <cmath>
#include <stdexcept>

#include "platform/music/database.h"

namespace melodock::detail {
namespace {

// BM25's usual constants, as SQLite's own bm25() uses them.
constexpr double kK1 = 1.2;
constexpr double kB = 0.75;
constexpr int kMaxPhrases = static_cast<int>(SearchIndex::kMaxWords);

struct SourceTable {
  const char* table;
  const char* weights;  // one per column: a title counts more than the names around it
};

constexpr std::array<SourceTable, 5> kSources = {{
    {"song_fts", "4.0, 2.0, 1.0"},
    {"album_fts", "3.0, 1.0"},
    {"artist_fts", "1.0"},
    {"playlist_fts", "3.0, 1.0"},
    {"station_fts", "1.0"},
}};

fts5_api* fts5(sqlite3* connection) {
  fts5_api* api = nullptr;
  Statement query(connection, "SELECT fts5(?1)");
  checkSQLite(connection, sqlite3_bind_pointer(query.get(), 1, static_cast<void*>(&api),
                                               "fts5_api_ptr", nullptr));
  query.step();
  if (!api) throw std::runtime_error("SQLite was built without FTS5");
  return api;
}

// relevance(fts_table, column weights..., inverse document frequencies...): BM25 as
// SQLite computes it, negated so that better matches sort first, but with each
// phrase's inverse document frequency given rather than counted.
void relevance(const Fts5ExtensionApi* api, Fts5Context* fts, sqlite3_context* result, int argc,
               sqlite3_value** argv) {
  const int columns = api->xColumnCount(fts);
  const int phrases = api->xPhraseCount(fts);
  if (phrases > kMaxPhrases || argc != columns + phrases) {
    sqlite3_result_error(result, "relevance: wrong number of arguments", -1);
    return;
  }
  sqlite3_int64 rows = 0;
  sqlite3_int64 tokens = 0;
  int rowTokens = 0;
  int hits = 0;
  if (api->xRowCount(fts, &rows) != SQLITE_OK ||
      api->xColumnTotalSize(fts, -1, &tokens) != SQLITE_OK ||
      api->xColumnSize(fts, -1, &rowTokens) != SQLITE_OK ||
      api->xInstCount(fts, &hits) != SQLITE_OK) {
    sqlite3_result_error(result, "relevance: cannot read the match", -1);
    return;
  }
  std::array<double, kMaxPhrases> frequency{};
  for (int i = 0; i < hits; ++i) {
    int phrase = 0;
    int column = 0;
    int offset = 0;
    if (api->xInst(fts, i, &phrase, &column, &offset) == SQLITE_OK) {
      frequency[phrase] += sqlite3_value_double(argv[column]);
    }
  }
  const double averageTokens = rows > 0 ? static_cast<double>(tokens) / rows : 1.0;
  const double lengthNorm = kK1 * (1 - kB + kB * rowTokens / averageTokens);
  double score = 0;
  for (int p = 0; p < phrases; ++p) {
    const double idf = sqlite3_value_double(argv[columns + p]);
    score += idf * (frequency[p] * (kK1 + 1)) / (frequency[p] + lengthNorm);
  }
  sqlite3_result_double(result, -score);
}

int collectToken(void* context, int flags, const char* token, int size, int, int) {
  if (flags & FTS5_TOKEN_COLOCATED) return SQLITE_OK;
  auto& words = *static_cast<std::vector<std::string>*>(context);
  if (words.size() < SearchIndex::kMaxWords) words.emplace_back(token, size);
  return SQLITE_OK;
}

std::size_t characters(std::string_view utf8) {
  std::size_t count = 0;
  for (const char c : utf8) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

// A word matches as the start of longer words once it has two letters: a one-letter
// start would match half the index.
bool matchesAsPrefix(const std::string& word) { return characters(word) >= 2; }

}  // namespace

SearchIndex::SearchIndex(sqlite3* connection) : connection_(connection) {
  fts5_api* api = fts5(connection_);
  checkSQLite(connection_, api->xCreateFunction(api, "relevance", nullptr, relevance, nullptr));
  void* userData = nullptr;
  checkSQLite(connection_, api->xFindTokenizer(api, "unicode61", &userData, &tokenizerApi_));
  // The same tokenizer, with the same options, as the tables in the catalog schema.
  const char* arguments[] = {"remove_diacritics", "2"};
  checkSQLite(connection_, tokenizerApi_.xCreate(userData, arguments, 2, &tokenizer_));
}

SearchIndex::~SearchIndex() {
  if (tokenizer_) tokenizerApi_.xDelete(tokenizer_);
}

std::vector<std::string> SearchIndex::words(std::string_view text) const {
  std::vector<std::string> words;
  checkSQLite(connection_,
              tokenizerApi_.xTokenize(tokenizer_, &words, FTS5_TOKENIZE_QUERY, text.data(),
                                      static_cast<int>(text.size()), collectToken));
  return words;
}

double SearchIndex::inverseFrequency(SearchSource source, const std::string& word, bool prefix) {
  const auto index = static_cast<std::size_t>(source);
  if (rows_[index] < 0) {
    auto count = statements_(
        connection_, std::string("SELECT count(*) FROM ") + kSources[index].table + "_docsize");
    count->step();
    rows_[index] = count->integer(0);
  }
  std::string key = std::to_string(index) + (prefix ? "*" : "=") + word;
  if (const auto found = inverseFrequencies_.find(key); found != inverseFrequencies_.end()) {
    return found->second;
  }
  // For a word start: the sum over the words it starts, an upper bound of the rows
  // holding any of them.
  std::int64_t docs = 0;
  if (prefix) {
    std::string end = word;
    end.back() = static_cast<char>(static_cast<unsigned char>(end.back()) + 1);
    auto sum = statements_(connection_,
                           "SELECT coalesce(sum(docs), 0) FROM search_term "
                           "WHERE source = ?1 AND term >= ?2 AND term < ?3");
    sum->bind(1, static_cast<std::int64_t>(index)).bind(2, word).bind(3, end);
    sum->step();
    docs = std::min(sum->integer(0), rows_[index]);
  } else {
    auto exact =
        statements_(connection_, "SELECT docs FROM search_term WHERE source = ?1 AND term = ?2");
    exact->bind(1, static_cast<std::int64_t>(index)).bind(2, word);
    if (exact->step()) docs = exact->integer(0);
  }
  const double n = static_cast<double>(rows_[index]);
  const double idf = std::max(1e-6, std::log((n - docs + 0.5) / (docs + 0.5)));
  // The catalog never changes under a reader, so a frequency stays right; the bound
  // only keeps memory in check.
  if (inverseFrequencies_.size() > 100'000) inverseFrequencies_.clear();
  inverseFrequencies_.emplace(std::move(key), idf);
  return idf;
}

std::vector<std::int64_t> SearchIndex::search(SearchSource source, std::string_view text,
                                              int limit) {
  std::vector<std::int64_t> ranks;
  const std::vector<std::string> terms = words(text);
  if (terms.empty() || limit <= 0) return ranks;
  std::string match;
  for (const std::string& term : terms) {
    if (!match.empty()) match += ' ';
    match += '"';
    for (const char c : term) match += c == '"' ? std::string("\"\"") : std::string(1, c);
    match += matchesAsPrefix(term) ? "\"*" : "\"";
  }
  const SourceTable& table = kSources[static_cast<std::size_t>(source)];
  std::string sql = "SELECT r FROM (SELECT rowid AS r, relevance(";
  sql += table.table;
  sql += ", ";
  sql += table.weights;
  for (std::size_t i = 0; i < terms.size(); ++i) sql += ", ?" + std::to_string(i + 3);
  sql += ") AS score FROM ";
  sql += table.table;
  sql += " WHERE ";
  sql += table.table;
  sql += " MATCH ?1 ORDER BY rowid LIMIT " + std::to_string(kCandidates) +
         ") ORDER BY score, r LIMIT ?2";
  auto query = statements_(connection_, sql);
  query->bind(1, match).bind(2, limit);
  for (std::size_t i = 0; i < terms.size(); ++i) {
    query->bind(static_cast<int>(i) + 3,
                inverseFrequency(source, terms[i], matchesAsPrefix(terms[i])));
  }
  while (query->step()) ranks.push_back(query->integer(0));
  return ranks;
}

}  // namespace melodock::detail

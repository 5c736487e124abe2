#include "platform/music/catalog/detail/search_index.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "platform/music/catalog/database.h"

namespace melodock::detail {
namespace {

// BM25's usual constants, as SQLite's own bm25() uses them.
constexpr double kK1 = 1.2;
constexpr double kB = 0.75;
// What a longer word that a query word starts counts, next to the word itself.
constexpr double kCompletionShare = 0.8;

// Column weights per source: a title counts more than the names around it.
constexpr double kSongWeights[] = {4.0, 2.0, 1.0};  // title, artist, album
constexpr double kAlbumWeights[] = {3.0, 1.0};      // title, artist
constexpr double kNameWeights[] = {1.0};            // artist or station name
constexpr double kPlaylistWeights[] = {3.0, 1.0};   // name, curator
constexpr const double* kWeights[] = {kSongWeights, kAlbumWeights, kNameWeights, kPlaylistWeights,
                                      kNameWeights};

// The first text after every text that starts with `prefix`.
std::string pastPrefix(std::string prefix) {
  // UTF-8 never holds the byte 0xFF, so the last byte can always grow by one.
  prefix.back() = static_cast<char>(static_cast<unsigned char>(prefix.back()) + 1);
  return prefix;
}

}  // namespace

SearchIndex::SearchIndex(sqlite3* connection) : connection_(connection), words_(connection) {
  fts5_api* api = fts5(connection_);
  checkSQLite(connection_, api->xCreateFunction(api, "relevance", this, relevance, nullptr));
}

// relevance(fts_table): BM25 as SQLite's bm25() computes it, negated so that better
// matches sort first, with the query's inverse document frequencies and the row's
// length taken from the index's state rather than counted or read.
void SearchIndex::relevance(const Fts5ExtensionApi* api, Fts5Context* fts, sqlite3_context* result,
                            int, sqlite3_value**) {
  const Query& query = static_cast<const SearchIndex*>(api->xUserData(fts))->query_;
  const std::size_t words = query.inverseFrequencies.size();
  if (!query.table || words > kMaxWords ||
      static_cast<std::size_t>(api->xPhraseCount(fts)) != query.wordOfPhrase.size()) {
    sqlite3_result_error(result, "relevance: not called by SearchIndex::search", -1);
    return;
  }
  const auto rowid = static_cast<std::size_t>(api->xRowid(fts));
  const std::string& lengths = query.table->lengths;
  const double rowLength = rowid >= 1 && rowid <= lengths.size()
                               ? static_cast<unsigned char>(lengths[rowid - 1])
                               : query.table->averageLength;
  int hits = 0;
  if (api->xInstCount(fts, &hits) != SQLITE_OK) {
    sqlite3_result_error(result, "relevance: cannot read the match", -1);
    return;
  }
  // The weighted count of each query word in the row, whichever of its phrases matched.
  double frequency[kMaxWords] = {};
  for (int i = 0; i < hits; ++i) {
    int phrase = 0;
    int column = 0;
    int offset = 0;
    if (api->xInst(fts, i, &phrase, &column, &offset) == SQLITE_OK) {
      const auto p = static_cast<std::size_t>(phrase);
      frequency[query.wordOfPhrase[p]] += query.weights[column] * query.shareOfPhrase[p];
    }
  }
  const double lengthNorm = kK1 * (1 - kB + kB * rowLength / query.table->averageLength);
  double score = 0;
  for (std::size_t w = 0; w < words; ++w) {
    score += query.inverseFrequencies[w] * (frequency[w] * (kK1 + 1)) / (frequency[w] + lengthNorm);
  }
  sqlite3_result_double(result, -score);
}

const SearchIndex::Table& SearchIndex::table(SearchSource source) {
  Table& table = tables_[static_cast<std::size_t>(source)];
  if (!table.loaded) {
    auto read = statements_(connection_,
                            "SELECT rows, tokens, lengths FROM search_length WHERE source = ?1");
    read->bind(1, static_cast<std::int64_t>(source));
    if (read->step()) {
      table.rows = read->integer(0);
      if (table.rows > 0) {
        table.averageLength =
            static_cast<double>(read->integer(1)) / static_cast<double>(table.rows);
      }
      if (table.averageLength <= 0) table.averageLength = 1;
      table.lengths = std::string(read->blob(2));
    }
    table.loaded = true;
  }
  return table;
}

double SearchIndex::inverseFrequency(SearchSource source, std::int64_t documents) {
  const double rows = static_cast<double>(table(source).rows);
  const double n = std::min(static_cast<double>(documents), rows);
  return std::max(1e-6, std::log((rows - n + 0.5) / (n + 0.5)));
}

std::int64_t SearchIndex::documents(SearchSource source, const std::string& word, bool prefix) {
  if (!prefix) {
    auto exact =
        statements_(connection_, "SELECT docs FROM search_term WHERE source = ?1 AND term = ?2");
    exact->bind(1, static_cast<std::int64_t>(source)).bind(2, word);
    return exact->step() ? exact->integer(0) : 0;
  }
  // For a word start: the sum over the words it starts, an upper bound of the rows
  // holding any of them. The catalog never changes under a reader, so it is kept.
  std::string key = std::to_string(static_cast<int>(source)) + word;
  if (const auto found = prefixDocuments_.find(key); found != prefixDocuments_.end()) {
    return found->second;
  }
  auto sum = statements_(connection_,
                         "SELECT coalesce(sum(docs), 0) FROM search_term "
                         "WHERE source = ?1 AND term >= ?2 AND term < ?3");
  sum->bind(1, static_cast<std::int64_t>(source)).bind(2, word).bind(3, pastPrefix(word));
  sum->step();
  const std::int64_t documents = sum->integer(0);
  if (prefixDocuments_.size() > 100'000) prefixDocuments_.clear();
  prefixDocuments_.emplace(std::move(key), documents);
  return documents;
}

bool SearchIndex::addWord(SearchSource source, const std::string& word, std::string& match) {
  if (!match.empty()) match += " AND ";
  const std::size_t number = query_.inverseFrequencies.size();
  auto addPhraseOf = [&](double share) {
    query_.wordOfPhrase.push_back(number);
    query_.shareOfPhrase.push_back(share);
  };
  const std::size_t length = characters(word);
  if (length == 1) {
    // A one-letter start would match half the index: one letter matches itself.
    addPhrase(match, word, false);
    addPhraseOf(1.0);
    query_.inverseFrequencies.push_back(inverseFrequency(source, documents(source, word, false)));
    return true;
  }
  query_.inverseFrequencies.push_back(inverseFrequency(source, documents(source, word, true)));
  if (length <= 3) {
    addPhrase(match, word, true);  // served by the prefix index
    addPhraseOf(1.0);
    return true;
  }
  // The word itself counts a little more than the longer words it starts.
  auto completions = statements_(connection_,
                                 "SELECT term FROM search_term "
                                 "WHERE source = ?1 AND term >= ?2 AND term < ?3 "
                                 "ORDER BY docs DESC, term LIMIT ?4");
  completions->bind(1, static_cast<std::int64_t>(source))
      .bind(2, word)
      .bind(3, pastPrefix(word))
      .bind(4, kMaxCompletions);
  std::string alternatives;
  while (completions->step()) {
    alternatives += alternatives.empty() ? "(" : " OR ";
    addPhrase(alternatives, completions->text(0), false);
    addPhraseOf(completions->text(0) == word ? 1.0 : kCompletionShare);
  }
  if (alternatives.empty()) return false;
  match += alternatives + ")";
  return true;
}

std::vector<std::int64_t> SearchIndex::search(SearchSource source, std::string_view text,
                                              int limit) {
  std::vector<std::int64_t> ranks;
  const std::vector<std::string> terms = words_(text);
  if (terms.empty() || limit <= 0) return ranks;
  const auto index = static_cast<std::size_t>(source);
  query_ = Query{};
  query_.table = &table(source);
  query_.weights = kWeights[index];
  std::string match;
  for (const std::string& term : terms) {
    if (!addWord(source, term, match)) return ranks;
  }
  const std::string fts = kSearchTables[index];
  auto run = statements_(
      connection_, "SELECT r FROM (SELECT rowid AS r, relevance(" + fts + ") AS score FROM " + fts +
                       " WHERE " + fts + " MATCH ?1 ORDER BY rowid LIMIT " +
                       std::to_string(kCandidates) + ") ORDER BY score, r LIMIT ?2");
  run->bind(1, match).bind(2, limit);
  while (run->step()) ranks.push_back(run->integer(0));
  return ranks;
}

}  // namespace melodock::detail

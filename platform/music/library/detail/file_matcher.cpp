#include "platform/music/library/detail/file_matcher.h"

#include <limits>
#include <vector>

namespace melodock::detail {
namespace {

// An FTS5 column filter for the words as one phrase.
void addColumnPhrase(std::string& match, const char* column,
                     const std::vector<std::string>& words) {
  if (!match.empty()) match += " AND ";
  match += column;
  match += " : \"";
  for (std::size_t at = 0; at < words.size(); ++at) {
    if (at > 0) match += ' ';
    for (const char c : words[at]) match += c == '"' ? std::string("\"\"") : std::string(1, c);
  }
  match += '"';
}

}  // namespace

FileMatcher::FileMatcher(sqlite3* connection)
    : connection_(connection),
      indexed_(connection),
      exact_(connection, false, std::numeric_limits<std::size_t>::max()) {}

std::string FileMatcher::folded(std::string_view text) const {
  std::string result;
  for (const std::string& word : exact_(text)) {
    if (!result.empty()) result += ' ';
    result += word;
  }
  return result;
}

std::optional<std::string> FileMatcher::fileFor(const Song& song) {
  if (!song.duration) return std::nullopt;
  const std::string title = folded(song.title);
  const std::string artist = folded(song.artistName);
  if (title.empty() || artist.empty()) return std::nullopt;
  // The index's words (diacritics folded, the first few) find a superset of the songs
  // whose folded title and artist are equal; those are then compared exactly.
  std::string match;
  addColumnPhrase(match, "title", indexed_(song.title));
  addColumnPhrase(match, "artist", indexed_(song.artistName));
  struct Candidate {
    std::string title;
    std::string artist;
    std::string path;
  };
  const std::int64_t duration = song.duration->count();
  const std::vector<Candidate> candidates = all(
      statements_, connection_,
      "SELECT title, artist, path FROM song "
      "WHERE rowid IN (SELECT rowid FROM song_search WHERE song_search MATCH ?1) "
      "AND path IS NOT NULL AND present AND duration_ms BETWEEN ?2 - ?3 AND ?2 + ?3 "
      "ORDER BY abs(duration_ms - ?2), rowid",
      [](const Statement& row) {
        return Candidate{std::string(row.text(0)), std::string(row.text(1)),
                         std::string(row.text(2))};
      },
      match, duration, static_cast<std::int64_t>(kTolerance.count()));
  for (const Candidate& candidate : candidates) {
    if (folded(candidate.title) == title && folded(candidate.artist) == artist) {
      return candidate.path;
    }
  }
  return std::nullopt;
}

}  // namespace melodock::detail

// Finds the user's music file that plays a catalog song, on the library's database
// thread: a present file whose song has the same artist and title once case and
// punctuation are folded, and a duration within kTolerance of the song's. The search
// index narrows the candidates, so a look-up never reads every song.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "platform/music/catalog/query_words.h"
#include "platform/music/catalog/statement.h"
#include "platform/music/items.h"

namespace melodock::detail {

class FileMatcher {
 public:
  static constexpr std::chrono::milliseconds kTolerance{3000};

  // `connection` must be at the current schema version and outlive this.
  explicit FileMatcher(sqlite3* connection);

  // The path of the file that plays `song`, the nearest in duration when several do;
  // none for a song without a duration.
  [[nodiscard]] std::optional<std::string> fileFor(const Song& song);

 private:
  // Case folded, every run of punctuation and spaces one space: "AC/DC" is "ac dc".
  [[nodiscard]] std::string folded(std::string_view text) const;

  sqlite3* connection_;
  StatementCache statements_;
  QueryWords indexed_;  // the words as the search index holds them
  QueryWords exact_;    // every word, diacritics kept
};

}  // namespace melodock::detail

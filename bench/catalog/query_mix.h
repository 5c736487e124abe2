// The fixed search query mix of the catalog benchmarks, drawn (seeded) from a data
// set's song titles and artist names: a third single words of three or more letters,
// a third two adjacent words, a third the first three letters (characters) of a word.
#pragma once

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "bench/catalog/random.h"
#include "platform/music/catalog/detail/tsv_reader.h"

namespace melodock::bench {

// Words of at least three letters (ASCII letters and digits, and any non-ASCII byte).
inline std::vector<std::string> queryWords(std::string_view text) {
  std::vector<std::string> found;
  std::string word;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const unsigned char c = i < text.size() ? static_cast<unsigned char>(text[i]) : ' ';
    if (std::isalnum(c) || c >= 0x80) {
      word += static_cast<char>(c);
    } else {
      if (word.size() >= 3) found.push_back(word);
      word.clear();
    }
  }
  return found;
}

// The first `count` characters of UTF-8 text, never part of one.
inline std::string firstLetters(const std::string& word, std::size_t count) {
  std::size_t end = 0;
  for (std::size_t letters = 0; end < word.size() && letters < count; ++letters) {
    do ++end;
    while (end < word.size() && (static_cast<unsigned char>(word[end]) & 0xC0) == 0x80);
  }
  return word.substr(0, end);
}

inline std::vector<std::string> queryMix(const std::filesystem::path& data, std::size_t count) {
  std::vector<std::string> names;
  {
    detail::TsvReader tracks(data / "tracks.tsv",
                             {"id", "album_id", "kind", "title", "genre", "composer", "duration_ms",
                              "disc", "number", "release_date", "playable", "radio_plays"});
    while (tracks.next()) names.emplace_back(tracks.text(3));
    detail::TsvReader artists(data / "artists.tsv", {"id", "name"});
    while (artists.next()) names.emplace_back(artists.text(1));
  }
  Random random(20240607);
  std::vector<std::string> queries;
  while (queries.size() < count) {
    const std::vector<std::string> picked = queryWords(names[random.below(names.size())]);
    if (picked.empty()) continue;
    const std::size_t at = random.below(picked.size());
    switch (queries.size() % 3) {
      case 0:
        queries.push_back(picked[at]);
        break;
      case 1:
        if (picked.size() < 2) continue;
        queries.push_back(picked[std::min(at, picked.size() - 2)] + " " +
                          picked[std::min(at, picked.size() - 2) + 1]);
        break;
      default:
        queries.push_back(firstLetters(picked[at], 3));
    }
  }
  return queries;
}

}  // namespace melodock::bench

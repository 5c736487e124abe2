// The note an agent sets: what of its text the panel shows.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace melodock::detail {

// The most user-perceived characters (extended grapheme clusters) a note holds.
inline constexpr std::size_t kNoteLimit = 60;

// The note made from `text`: characters with the Unicode White_Space property (line
// breaks among them) removed from both ends, every line feed (U+000A) left inside
// replaced by one space, then cut after kNoteLimit grapheme clusters, never inside one.
// Other characters stay as they are (a carriage return inside too). Nothing when no
// text is left: the note is then absent. An ill-formed UTF-8 sequence reads as U+FFFD.
[[nodiscard]] std::optional<std::string> noteText(std::string_view text);

}  // namespace melodock::detail

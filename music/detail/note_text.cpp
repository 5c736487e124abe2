#include "music/detail/note_text.h"

#include <algorithm>
#include <memory>

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace melodock::detail {
namespace {

bool isWhiteSpace(UChar32 c) { return u_hasBinaryProperty(c, UCHAR_WHITE_SPACE) != 0; }

// Where the text ends after `limit` grapheme clusters, or its length when it has fewer.
int32_t clusterEnd(const icu::UnicodeString& text, std::size_t limit) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> clusters(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  if (U_FAILURE(status)) {
    // ICU without its data: count code points instead, still never splitting one.
    return text.moveIndex32(0, static_cast<int32_t>(std::min<std::size_t>(
                                   limit, static_cast<std::size_t>(text.countChar32()))));
  }
  clusters->setText(text);
  int32_t end = clusters->first();
  for (std::size_t counted = 0; counted < limit; ++counted) {
    const int32_t next = clusters->next();
    if (next == icu::BreakIterator::DONE) break;
    end = next;
  }
  return end;
}

}  // namespace

std::optional<std::string> noteText(std::string_view text) {
  const icu::UnicodeString whole = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  int32_t start = 0;
  int32_t end = whole.length();
  while (start < end && isWhiteSpace(whole.char32At(start))) start = whole.moveIndex32(start, 1);
  while (end > start && isWhiteSpace(whole.char32At(end - 1))) end = whole.moveIndex32(end, -1);
  if (start == end) return std::nullopt;

  icu::UnicodeString note(whole, start, end - start);
  note.findAndReplace(icu::UnicodeString(static_cast<UChar>(u'\n')),
                      icu::UnicodeString(static_cast<UChar>(u' ')));
  note.truncate(clusterEnd(note, kNoteLimit));
  std::string result;
  note.toUTF8String(result);
  return result;
}

}  // namespace melodock::detail

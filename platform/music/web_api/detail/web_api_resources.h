// Library items in the web API's JSON shape, and its error bodies.
#pragma once

#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/music/items.h"
#include "platform/music/library/library.h"

namespace melodock::detail {

// {"id", "type": "library-songs", "href", "attributes": {...}}, and the like.
[[nodiscard]] nlohmann::json songResource(const Song& song);
[[nodiscard]] nlohmann::json albumResource(const Album& album);
[[nodiscard]] nlohmann::json playlistResource(const LibraryPlaylist& playlist);
[[nodiscard]] nlohmann::json addedResource(const AddedItem& item);
// An album or playlist played often: "library-albums" for library ids, "albums" for
// catalog ones.
[[nodiscard]] nlohmann::json rotationResource(const RotationItem& item);

// {"errors": [{"status": "404", "code": "40400", "title": ..., "detail": ...}]}
[[nodiscard]] nlohmann::json errorBody(int status, std::string_view title, std::string_view detail);

// Compact JSON; text that is not UTF-8 is written with replacement characters.
[[nodiscard]] std::string jsonText(const nlohmann::json& value);

}  // namespace melodock::detail

#include "platform/music/web_api/in_process_web_api.h"

#include <charconv>
#include <vector>

#include "platform/music/web_api/detail/web_api_resources.h"

namespace melodock {
namespace {

using detail::errorBody;
using detail::jsonText;
using nlohmann::json;

constexpr int kRecentlyAddedPage = 25;  // the web API's own ceiling for this list
constexpr const char* kNotFound = "Resource Not Found";

WebAPIResponse answerWith(int status, const json& body) { return {status, jsonText(body)}; }

WebAPIResponse notFound(std::string_view detail) {
  return answerWith(404, errorBody(404, kNotFound, detail));
}

std::vector<std::string_view> segments(std::string_view path) {
  std::vector<std::string_view> parts;
  while (!path.empty()) {
    const std::size_t slash = path.find('/');
    if (slash != 0) parts.push_back(path.substr(0, slash));
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  return parts;
}

std::optional<int> number(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  int value = 0;
  const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (error != std::errc() || end != text->data() + text->size()) return std::nullopt;
  return value;
}

// Which slice of a list a request asks for.
struct Page {
  int limit = InProcessWebAPI::kDefaultPage;
  int offset = 0;
};

// The page asked for, or the web API's answer to a bad `limit` or `offset`.
std::variant<Page, WebAPIResponse> pageAskedFor(const QueryItems& query, int largest) {
  Page page;
  page.limit = std::min(page.limit, largest);
  if (const auto limit = queryValue(query, "limit")) {
    const auto value = number(limit);
    if (!value || *value < 1 || *value > largest) {
      return answerWith(400,
                        errorBody(400, "Invalid Parameter Value",
                                  "limit must be an integer from 1 to " + std::to_string(largest)));
    }
    page.limit = *value;
  }
  if (const auto offset = queryValue(query, "offset")) {
    const auto value = number(offset);
    if (!value || *value < 0) {
      return answerWith(
          400, errorBody(400, "Invalid Parameter Value", "offset must be a non-negative integer"));
    }
    page.offset = *value;
  }
  return page;
}

// One page of `items` (all of the list from its start, or at least one item past the
// page), with `next` when more follow.
WebAPIResponse pageOf(const std::vector<json>& items, std::string_view rawPath, Page page) {
  json data = json::array();
  const auto first = static_cast<std::size_t>(page.offset);
  const auto end = std::min(items.size(), first + static_cast<std::size_t>(page.limit));
  for (std::size_t i = first; i < end; ++i) data.push_back(items[i]);
  json body{{"data", std::move(data)}};
  if (end < items.size()) {
    body["next"] = std::string(rawPath) + "?limit=" + std::to_string(page.limit) +
                   "&offset=" + std::to_string(end);
  }
  return answerWith(200, body);
}

template <typename Item, typename Make>
std::vector<json> resourcesOf(const std::vector<Item>& items, Make make) {
  std::vector<json> resources;
  resources.reserve(items.size());
  for (const Item& item : items) resources.push_back(make(item));
  return resources;
}

}  // namespace

InProcessWebAPI::InProcessWebAPI(Library& library, Catalog& catalog)
    : library_(library), catalog_(catalog) {}

asio::awaitable<WebAPIResponse> InProcessWebAPI::send(WebAPIRequest request) {
  const std::string_view url = request.url;
  if (!url.starts_with(kBaseURL) ||
      !url.substr(std::string_view(kBaseURL).size()).starts_with('/')) {
    throw WebAPIError("The library's web API serves only " + std::string(kBaseURL) + ", not " +
                      request.url);
  }
  std::string target = request.url.substr(std::string_view(kBaseURL).size());
  co_return co_await serve(std::move(request.method), std::move(target), std::move(request.body));
}

asio::awaitable<WebAPIResponse> InProcessWebAPI::serve(std::string method, std::string target,
                                                       std::optional<std::string> body) {
  WebAPITarget parsed = parseWebAPITarget(target);
  const Served request{std::move(method), std::move(parsed.path), std::move(parsed.query),
                       std::move(body)};
  if (observer_) observer_(request);
  const std::string_view rawPath = std::string_view(target).substr(0, target.find('?'));
  try {
    co_return co_await answer(request, rawPath);
  } catch (const std::exception& error) {
    co_return answerWith(500, errorBody(500, "Internal Server Error", error.what()));
  }
}

asio::awaitable<WebAPIResponse> InProcessWebAPI::answer(const Served& request,
                                                        std::string_view rawPath) {
  if (request.method != "GET") co_return co_await change(request);
  const std::vector<std::string_view> parts = segments(request.path);
  const auto is = [&](std::initializer_list<std::string_view> expected) {
    if (parts.size() != expected.size()) return false;
    std::size_t i = 0;
    for (const std::string_view part : expected) {
      if (part != "*" && part != parts[i]) return false;
      ++i;
    }
    return true;
  };
  const auto reading = [&](int largest) { return pageAskedFor(request.query, largest); };

  if (is({"v1", "me", "library", "playlists"})) {
    auto page = reading(kLargestPage);
    if (auto* refusal = std::get_if<WebAPIResponse>(&page)) co_return std::move(*refusal);
    const std::vector<LibraryPlaylist> playlists = co_await library_.playlists();
    co_return pageOf(resourcesOf(playlists, detail::playlistResource), rawPath,
                     std::get<Page>(page));
  }
  if (is({"v1", "me", "library", "playlists", "*"}) ||
      is({"v1", "me", "library", "playlists", "*", "tracks"})) {
    auto page = reading(kLargestPage);
    if (auto* refusal = std::get_if<WebAPIResponse>(&page)) co_return std::move(*refusal);
    const std::string id(parts[4]);
    const std::optional<LibraryPlaylist> playlist = co_await library_.playlist(id);
    if (!playlist) co_return notFound("No library playlist with id " + id);
    if (parts.size() == 5) {
      co_return answerWith(200, json{{"data", json::array({detail::playlistResource(*playlist)})}});
    }
    const std::vector<Song> songs = co_await library_.playlistSongs(id);
    co_return pageOf(resourcesOf(songs, detail::songResource), rawPath, std::get<Page>(page));
  }
  if (is({"v1", "me", "library", "recently-added"})) {
    auto page = reading(kRecentlyAddedPage);
    if (auto* refusal = std::get_if<WebAPIResponse>(&page)) co_return std::move(*refusal);
    const Page asked = std::get<Page>(page);
    // One item past the page tells whether another follows.
    const std::vector<AddedItem> added =
        co_await library_.recentlyAdded(asked.offset + asked.limit + 1);
    co_return pageOf(resourcesOf(added, detail::addedResource), rawPath, asked);
  }
  if (is({"v1", "me", "history", "heavy-rotation"})) {
    auto page = reading(kLargestPage);
    if (auto* refusal = std::get_if<WebAPIResponse>(&page)) co_return std::move(*refusal);
    const Page asked = std::get<Page>(page);
    const std::vector<RotationItem> rotation =
        co_await library_.heavyRotation(asked.offset + asked.limit + 1);
    co_return pageOf(resourcesOf(rotation, detail::rotationResource), rawPath, asked);
  }
  co_return notFound("No resource at " + request.path);
}

asio::awaitable<std::optional<std::vector<Song>>> InProcessWebAPI::songsOf(json references,
                                                                           std::string& unknown) {
  std::vector<Song> found;
  for (const json& reference : references) {
    const std::string id = reference.value("id", "");
    const std::string type = reference.value("type", "");
    std::vector<std::string> ids{id};
    std::vector<Song> songs;
    if (type == "library-songs") {
      songs = co_await library_.songs(std::move(ids));
    } else if (type == "songs") {
      songs = co_await catalog_.songs(std::move(ids));
    }
    if (songs.empty()) {
      unknown = id;
      co_return std::nullopt;
    }
    found.push_back(std::move(songs.front()));
  }
  co_return found;
}

asio::awaitable<bool> InProcessWebAPI::exists(bool library, std::string kind, std::string id) {
  std::vector<std::string> ids{id};
  if (library) {
    if (kind == "song") co_return !(co_await library_.songs(std::move(ids))).empty();
    if (kind == "album") co_return (co_await library_.album(std::move(id))).has_value();
    co_return (co_await library_.playlist(std::move(id))).has_value();
  }
  if (kind == "song") co_return !(co_await catalog_.songs(std::move(ids))).empty();
  if (kind == "album") co_return !(co_await catalog_.albums(std::move(ids))).empty();
  co_return !(co_await catalog_.playlists(std::move(ids))).empty();
}

namespace {

WebAPIResponse badBody(std::string_view detail) {
  return answerWith(400, errorBody(400, "Invalid Request Body", detail));
}

// The track references of a body's `key`.`data` (or of its `data`), when an array of
// objects.
std::optional<json> referencesIn(const json& holder) {
  if (!holder.is_object() || !holder.contains("data") || !holder.at("data").is_array()) {
    return std::nullopt;
  }
  for (const json& reference : holder.at("data")) {
    if (!reference.is_object()) return std::nullopt;
  }
  return holder.at("data");
}

std::vector<std::string> splitIDs(const std::string& text) {
  std::vector<std::string> ids;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    if (comma > start) ids.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  return ids;
}

}  // namespace

asio::awaitable<WebAPIResponse> InProcessWebAPI::change(const Served& request) {
  const std::vector<std::string_view> parts = segments(request.path);
  const json body =
      request.body ? json::parse(*request.body, nullptr, false) : json(json::value_t::discarded);
  std::string unknown;
  const auto noSong = [&] { return notFound("No song with id " + unknown); };

  if (request.method == "POST" && parts.size() == 4 && parts[2] == "library" &&
      parts[3] == "playlists") {
    if (!body.is_object() || !body.contains("attributes") || !body.at("attributes").is_object() ||
        !body.at("attributes").contains("name") || !body.at("attributes").at("name").is_string()) {
      co_return badBody("attributes.name must be text");
    }
    const json& attributes = body.at("attributes");
    std::optional<std::string> description;
    if (attributes.contains("description") && attributes.at("description").is_string()) {
      description = attributes.at("description").get<std::string>();
    }
    json references = json::array();
    if (body.contains("relationships")) {
      const json& relationships = body.at("relationships");
      const std::optional<json> tracks =
          relationships.is_object() && relationships.contains("tracks")
              ? referencesIn(relationships.at("tracks"))
              : std::nullopt;
      if (!tracks) co_return badBody("relationships.tracks.data must be track references");
      references = *tracks;
    }
    std::optional<std::vector<Song>> songs = co_await songsOf(references, unknown);
    if (!songs) co_return noSong();
    std::string name = attributes.at("name").get<std::string>();
    const LibraryPlaylist made = co_await library_.createPlaylist(
        std::move(name), std::move(description), std::move(*songs));
    co_return answerWith(201, json{{"data", json::array({detail::playlistResource(made)})}});
  }

  if (request.method == "POST" && parts.size() == 6 && parts[2] == "library" &&
      parts[3] == "playlists" && parts[5] == "tracks") {
    const std::string id(parts[4]);
    const std::optional<LibraryPlaylist> playlist = co_await library_.playlist(id);
    if (!playlist) co_return notFound("No library playlist with id " + id);
    if (!playlist->canEdit) {
      co_return answerWith(403,
                           errorBody(403, "Forbidden", "The playlist " + id + " can't be edited"));
    }
    const std::optional<json> references = referencesIn(body);
    if (!references) co_return badBody("data must be track references");
    std::optional<std::vector<Song>> songs = co_await songsOf(*references, unknown);
    if (!songs) co_return noSong();
    std::string playlistID = id;
    co_await library_.addToPlaylist(std::move(playlistID), std::move(*songs));
    co_return WebAPIResponse{204, ""};
  }

  if (request.method == "POST" && parts.size() == 3 && parts[2] == "library") {
    bool any = false;
    for (const auto& [name, value] : request.query) {
      std::vector<std::string> ids = splitIDs(value);
      if (name == "ids[songs]") {
        const std::size_t asked = ids.size();
        std::vector<Song> songs = co_await catalog_.songs(std::move(ids));
        if (songs.size() != asked) co_return notFound("No catalog song for one of " + value);
        co_await library_.addSongs(std::move(songs));
      } else if (name == "ids[albums]") {
        const std::size_t asked = ids.size();
        std::vector<Album> albums = co_await catalog_.albums(std::move(ids));
        if (albums.size() != asked) co_return notFound("No catalog album for one of " + value);
        for (Album& album : albums) {
          std::string albumID = album.id;
          const std::vector<Track> tracks = co_await catalog_.albumTracks(std::move(albumID));
          co_await library_.addAlbum(std::move(album), melodock::songsOf(tracks));
        }
      } else if (name == "ids[playlists]") {
        const std::size_t asked = ids.size();
        std::vector<Playlist> playlists = co_await catalog_.playlists(std::move(ids));
        if (playlists.size() != asked) {
          co_return notFound("No catalog playlist for one of " + value);
        }
        for (Playlist& playlist : playlists) {
          std::string playlistID = playlist.id;
          const std::vector<Track> tracks = co_await catalog_.playlistTracks(std::move(playlistID));
          co_await library_.addPlaylist(std::move(playlist), melodock::songsOf(tracks));
        }
      } else {
        continue;
      }
      any = true;
    }
    if (!any) {
      co_return answerWith(400, errorBody(400, "Invalid Parameter Value",
                                          "ids[songs], ids[albums] or ids[playlists] is needed"));
    }
    co_return WebAPIResponse{202, ""};
  }

  if ((request.method == "PUT" || request.method == "DELETE") && parts.size() == 5 &&
      parts[2] == "ratings") {
    std::string_view type = parts[3];
    const bool library = type.starts_with("library-");
    if (library) type.remove_prefix(8);
    const std::string kind = type == "songs"       ? "song"
                             : type == "albums"    ? "album"
                             : type == "playlists" ? "playlist"
                                                   : "";
    if (kind.empty()) co_return notFound("No rating type " + std::string(parts[3]));
    std::string id(parts[4]);
    if (!co_await exists(library, kind, id)) {
      co_return notFound(std::string(library ? "No library " : "No catalog ") + kind + " with id " +
                         id);
    }
    std::optional<Rating> rating;
    if (request.method == "PUT") {
      const bool valid = body.is_object() && body.contains("attributes") &&
                         body.at("attributes").is_object() &&
                         body.at("attributes").contains("value") &&
                         body.at("attributes").at("value").is_number_integer();
      const std::int64_t value = valid ? body.at("attributes").at("value").get<std::int64_t>() : 0;
      if (value != 1 && value != -1) co_return badBody("attributes.value must be 1 or -1");
      rating = value == 1 ? Rating::love : Rating::dislike;
    }
    std::string ratedKind = kind;
    co_await library_.rate(id, std::move(ratedKind), rating);
    if (!rating) co_return WebAPIResponse{204, ""};
    co_return answerWith(
        200,
        json{{"data",
              json::array({json{{"id", id},
                                {"type", "ratings"},
                                {"attributes", {{"value", *rating == Rating::love ? 1 : -1}}}}})}});
  }
  co_return answerWith(405, errorBody(405, "Method Not Allowed",
                                      request.method + " is not allowed on " + request.path));
}

}  // namespace melodock

// The music service's web API requests: the one request function, the list loops and
// the parsers of their answers.
#include <string_view>

#include "base/http_reason.h"
#include "music/detail/web_api_path.h"
#include "music/music_service.h"
#include "music/tool_error.h"

namespace melodock {
namespace {

using nlohmann::json;

constexpr const char* kCloudPlaylistsPath = "/v1/me/library/playlists?limit=100";
// What a failed answer without the web API's `errors` says after its status's name.
constexpr const char* kNoErrorDetails = "The web API gave no details.";

// The web API's own words for a failed request: the first entry of `errors`. Without
// one (no JSON, or no `errors`), the status's name and a fixed detail.
ToolError webAPIError(int status, const std::string& body) {
  std::string title(reasonPhrase(status).value_or("HTTP error"));
  std::string detail = kNoErrorDetails;
  const json parsed = json::parse(body, nullptr, false);
  if (parsed.is_object() && parsed.contains("errors") && parsed.at("errors").is_array() &&
      !parsed.at("errors").empty() && parsed.at("errors").front().is_object()) {
    const json& first = parsed.at("errors").front();
    const auto text = [&](const char* key) {
      return first.contains(key) && first.at(key).is_string() ? first.at(key).get<std::string>()
                                                              : std::string();
    };
    title = text("title");
    detail = text("detail");
  }
  return ToolError("Apple Music API error (" + std::to_string(status) + "): " + title + ". " +
                   detail);
}

json parsedOrEmpty(std::string_view data) {
  json parsed = json::parse(data, nullptr, false);
  return parsed.is_discarded() ? json::object() : parsed;
}

// The elements of a page's `data`: none unless it is an array of objects.
const json& pageData(const json& page) {
  static const json kNone = json::array();
  if (!page.is_object() || !page.contains("data")) return kNone;
  const json& data = page.at("data");
  if (!data.is_array()) return kNone;
  for (const json& element : data) {
    if (!element.is_object()) return kNone;
  }
  return data;
}

std::optional<std::string> nextPath(const json& page) {
  if (!page.is_object() || !page.contains("next") || !page.at("next").is_string()) {
    return std::nullopt;
  }
  return page.at("next").get<std::string>();
}

const json& attributesOf(const json& element) {
  static const json kNone = json::object();
  if (!element.contains("attributes") || !element.at("attributes").is_object()) return kNone;
  return element.at("attributes");
}

// Copies `from[key]` as it is, unless absent or null.
void pass(mcp::Value::Object& object, const char* name, const json& from, const char* key) {
  if (from.contains(key) && !from.at(key).is_null()) {
    object.emplace(name, mcp::Value::fromJSON(from.at(key)));
  }
}

mcp::Value::Object trackDict(const json& element) {
  const json& attributes = attributesOf(element);
  mcp::Value::Object track;
  const json* catalogID = nullptr;
  if (attributes.contains("playParams") && attributes.at("playParams").is_object() &&
      attributes.at("playParams").contains("catalogId") &&
      attributes.at("playParams").at("catalogId").is_string()) {
    catalogID = &attributes.at("playParams").at("catalogId");
  }
  if (catalogID) {
    track.emplace("id", catalogID->get<std::string>());
  } else if (element.contains("id") && element.at("id").is_string()) {
    track.emplace("id", element.at("id").get<std::string>());
  }
  pass(track, "name", attributes, "name");
  pass(track, "artist", attributes, "artistName");
  pass(track, "album", attributes, "albumName");
  if (attributes.contains("durationInMillis") &&
      attributes.at("durationInMillis").is_number_integer()) {
    track.emplace("duration", attributes.at("durationInMillis").get<std::int64_t>() / 1000);
  }
  return track;
}

}  // namespace

asio::awaitable<std::string> MusicService::appleMusicAPI(std::string method, std::string path,
                                                         QueryItems query,
                                                         std::optional<json> body) {
  const std::optional<std::string> url = webAPIURL(parts_.webAPI.baseURL(), path, query);
  if (!url) throw detail::invalidWebAPIPath(path);
  WebAPIRequest request{.method = std::move(method), .url = *url, .timeout = kWebAPITimeout};
  if (body) {
    request.body = body->dump();  // throws for text that is not UTF-8
    request.headers.emplace_back("Content-Type", "application/json");
  }
  const WebAPIResponse response = co_await parts_.webAPI.send(std::move(request));
  if (response.status < 200 || response.status > 299) {
    throw webAPIError(response.status, response.body);
  }
  co_return response.body;
}

mcp::Value::Object MusicService::resourceDict(const json& element) {
  mcp::Value::Object object;
  pass(object, "id", element, "id");
  pass(object, "type", element, "type");
  const json& attributes = attributesOf(element);
  pass(object, "name", attributes, "name");
  pass(object, "artist", attributes, "artistName");
  return object;
}

std::vector<mcp::Value::Object> MusicService::resources(std::string_view data) {
  std::vector<mcp::Value::Object> found;
  const json page = parsedOrEmpty(data);
  for (const json& element : pageData(page)) found.push_back(resourceDict(element));
  return found;
}

asio::awaitable<std::vector<MusicService::CloudPlaylist>> MusicService::cloudPlaylists() {
  std::vector<CloudPlaylist> playlists;
  std::string path = kCloudPlaylistsPath;
  for (;;) {
    json page = json::object();
    try {
      page = parsedOrEmpty(co_await appleMusicAPI("GET", path));
    } catch (const std::exception&) {
      // A failed page ends the listing with what was gathered before it.
    }
    const std::size_t before = playlists.size();
    for (const json& element : pageData(page)) {
      if (!element.contains("id") || !element.at("id").is_string()) continue;
      const json& attributes = attributesOf(element);
      playlists.push_back(CloudPlaylist{
          .id = element.at("id").get<std::string>(),
          .name = attributes.contains("name") && attributes.at("name").is_string()
                      ? attributes.at("name").get<std::string>()
                      : "",
          .canEdit = attributes.contains("canEdit") && attributes.at("canEdit").is_boolean() &&
                     attributes.at("canEdit").get<bool>()});
    }
    const std::optional<std::string> next = nextPath(page);
    // A page that adds nothing ends it too: a service that kept sending `next` with
    // empty pages would otherwise never let go.
    if (!next || playlists.size() >= kCloudPlaylistCap || playlists.size() == before) break;
    path = *next;
  }
  co_return playlists;
}

asio::awaitable<std::vector<mcp::Value::Object>> MusicService::cloudPlaylistTracks(std::string id) {
  co_await requirePersonalData();
  std::vector<mcp::Value::Object> tracks;
  std::string path = detail::webAPIPathWithID("/v1/me/library/playlists/", id, "/tracks?limit=100");
  for (;;) {
    const json page = parsedOrEmpty(co_await appleMusicAPI("GET", path));
    const json& data = pageData(page);
    for (const json& element : data) tracks.push_back(trackDict(element));
    const std::optional<std::string> next = nextPath(page);
    if (!next || tracks.size() >= kPlaylistTrackCap || data.empty()) break;
    path = *next;
  }
  co_return tracks;
}

json MusicService::trackReferences(const std::vector<std::string>& ids) {
  json references = json::array();
  for (const std::string& id : ids) {
    references.push_back(
        json{{"id", id}, {"type", isLibrarySongID(id) ? "library-songs" : "songs"}});
  }
  return references;
}

std::vector<Song> MusicService::songs(const std::optional<std::vector<Track>>& tracks) {
  if (!tracks) return {};
  return songsOf(*tracks);
}

}  // namespace melodock

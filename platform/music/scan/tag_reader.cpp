#include "platform/music/scan/tag_reader.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <functional>
#include <utility>

#include "base/ascii.h"
#include "base/percent_encoding.h"
#include "platform/user_dirs.h"

namespace melodock {
namespace {

using namespace std::chrono_literals;

// The keys read.
constexpr std::array<const char*, 13> kKeys = {
    "TITLE",     "ARTIST",      "ALBUMARTIST", "ALBUM",       "GENRE",
    "DATE",      "TRACKNUMBER", "TRACKTOTAL",  "TOTALTRACKS", "DISCNUMBER",
    "DISCTOTAL", "TOTALDISCS",  "COMPILATION"};

// The first value of each key read, trimmed, taken in one pass over the tags: a look-up
// by key costs TagLib an upper-cased copy of the key, and thirteen of them cost ~16k
// instructions a file more than this pass (callgrind), 4 % of a file's read.
class Fields {
 public:
  explicit Fields(const TagLib::PropertyMap& properties) {
    for (const auto& [key, values] : properties) {
      if (values.isEmpty()) continue;
      const auto known = std::find_if(kKeys.begin(), kKeys.end(),
                                      [&key = key](const char* name) { return key == name; });
      if (known == kKeys.end()) continue;
      std::string text = values.front().to8Bit(true);
      const auto start = text.find_first_not_of(" \t\r\n");
      if (start == std::string::npos) continue;
      text.erase(0, start);
      text.erase(text.find_last_not_of(" \t\r\n") + 1);
      values_[static_cast<std::size_t>(known - kKeys.begin())] = std::move(text);
    }
  }

  // The value of `key`, one of kKeys; nothing when absent or blank.
  [[nodiscard]] std::optional<std::string> operator()(std::string_view key) const {
    const auto known = std::find(kKeys.begin(), kKeys.end(), key);
    return values_[static_cast<std::size_t>(known - kKeys.begin())];
  }

 private:
  std::array<std::optional<std::string>, kKeys.size()> values_{};
};

std::optional<int> number(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end == text.data() || value <= 0) return std::nullopt;
  return value;
}

// "n" or "n/total", and a separate total when the tags keep it apart.
std::pair<std::optional<int>, std::optional<int>> numberAndTotal(
    const Fields& fields, const char* key, std::initializer_list<const char*> totals) {
  std::optional<int> value;
  std::optional<int> total;
  if (const auto text = fields(key)) {
    const auto slash = text->find('/');
    value = number(std::string_view(*text).substr(0, slash));
    if (slash != std::string::npos) total = number(std::string_view(*text).substr(slash + 1));
  }
  for (const char* name : totals) {
    if (total) break;
    if (const auto text = fields(name)) total = number(*text);
  }
  return {value, total};
}

std::optional<ReleaseDate> releaseDate(const Fields& fields) {
  const auto text = fields("DATE");
  if (!text) return std::nullopt;
  if (auto date = parseReleaseDate(text->substr(0, 10))) return date;
  // Other shapes ("2001/05/03", "2001 remaster"): the year they start with.
  if (const auto year = number(std::string_view(*text).substr(0, 4)); year && text->size() >= 4) {
    return std::chrono::year(*year) / 1 / 1;
  }
  return std::nullopt;
}

bool isTrue(const std::optional<std::string>& text) {
  return text && !text->empty() && *text != "0" && *text != "false";
}

// The front cover first, else the first picture.
template <typename Picture, typename Front>
const Picture* choose(const std::vector<const Picture*>& pictures, Front front) {
  for (const Picture* picture : pictures) {
    if (front(*picture)) return picture;
  }
  return pictures.empty() ? nullptr : pictures.front();
}

std::optional<TagLib::ByteVector> id3Picture(TagLib::ID3v2::Tag* tag) {
  if (!tag) return std::nullopt;
  std::vector<const TagLib::ID3v2::AttachedPictureFrame*> pictures;
  for (const TagLib::ID3v2::Frame* frame : tag->frameList("APIC")) {
    if (const auto* picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame)) {
      pictures.push_back(picture);
    }
  }
  const auto* chosen = choose(pictures, [](const auto& picture) {
    return picture.type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover;
  });
  if (!chosen) return std::nullopt;
  return chosen->picture();
}

std::optional<TagLib::ByteVector> flacPicture(const TagLib::List<TagLib::FLAC::Picture*>& list) {
  std::vector<const TagLib::FLAC::Picture*> pictures(list.begin(), list.end());
  const auto* chosen = choose(pictures, [](const auto& picture) {
    return picture.type() == TagLib::FLAC::Picture::FrontCover;
  });
  if (!chosen) return std::nullopt;
  return chosen->data();
}

std::optional<TagLib::ByteVector> embeddedPicture(TagLib::File* file) {
  if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file)) {
    return mpeg->hasID3v2Tag() ? id3Picture(mpeg->ID3v2Tag()) : std::nullopt;
  }
  if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
    if (auto picture = flacPicture(flac->pictureList())) return picture;
    if (flac->hasXiphComment()) return flacPicture(flac->xiphComment()->pictureList());
    return std::nullopt;
  }
  if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(file)) {
    return vorbis->tag() ? flacPicture(vorbis->tag()->pictureList()) : std::nullopt;
  }
  if (auto* opus = dynamic_cast<TagLib::Ogg::Opus::File*>(file)) {
    return opus->tag() ? flacPicture(opus->tag()->pictureList()) : std::nullopt;
  }
  if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) {
    if (!mp4->tag() || !mp4->tag()->contains("covr")) return std::nullopt;
    const TagLib::MP4::CoverArtList covers = mp4->tag()->item("covr").toCoverArtList();
    if (covers.isEmpty()) return std::nullopt;
    return covers.front().data();
  }
  if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file)) {
    return wav->hasID3v2Tag() ? id3Picture(wav->ID3v2Tag()) : std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

TagReader::TagReader(std::filesystem::path artworkFolder) : folder_(std::move(artworkFolder)) {}

std::filesystem::path TagReader::defaultArtworkFolder() {
  return userCacheDir() / "melodock" / "artwork";
}

bool TagReader::isMusicFile(std::string_view name) {
  static constexpr std::array<std::string_view, 8> kExtensions = {".flac", ".mp3", ".ogg", ".oga",
                                                                  ".opus", ".m4a", ".wav", ".mp4"};
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  const std::string extension = asciiLower(name.substr(dot));
  return std::find(kExtensions.begin(), kExtensions.end(), extension) != kExtensions.end();
}

std::optional<std::string> TagReader::keep(std::string_view picture) {
  const char* extension = nullptr;
  if (picture.starts_with("\x89PNG")) {
    extension = ".png";
  } else if (picture.starts_with("\xFF\xD8")) {
    extension = ".jpg";
  } else {
    return std::nullopt;
  }
  // The songs of an album mostly come one after another with the same picture: a
  // compare (memcmp, ~60 GB/s here) spares hashing it again.
  if (lastPicture_ && picture == lastPicture_->first) return lastPicture_->second;
  static constexpr char kHex[] = "0123456789abcdef";
  // Named after their bytes, so one picture is kept once. libstdc++'s hash (~7 GB/s
  // here, ten times FNV-1a's byte at a time) has kept its values for years; were they to
  // change, pictures would only be kept again under new names.
  std::uint64_t hash = std::hash<std::string_view>{}(picture);
  std::string name(16, '0');
  for (int i = 15; i >= 0; --i, hash >>= 4) name[static_cast<std::size_t>(i)] = kHex[hash & 15];
  name += extension;
  const std::filesystem::path file = folder_ / name;
  if (!kept_.contains(name)) {
    std::error_code error;
    if (!std::filesystem::exists(file, error)) {
      std::filesystem::create_directories(folder_, error);
      // Written aside and renamed, so a reader never sees half a picture.
      const std::filesystem::path partial = folder_ / (name + ".partial");
      {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out.write(picture.data(), static_cast<std::streamsize>(picture.size()));
        if (!out) return std::nullopt;
      }
      std::filesystem::rename(partial, file, error);
      if (error) return std::nullopt;
    }
    kept_.insert(name);
  }
  lastPicture_ = {std::string(picture), fileURL(file)};
  return lastPicture_->second;
}

std::optional<MusicFileTags> TagReader::read(
    const std::filesystem::path& path, const std::optional<std::filesystem::path>& coverBeside) {
  TagLib::FileRef ref(path.c_str(), true, TagLib::AudioProperties::Average);
  // TagLib takes any bytes with a music file's name for a file without frames: audio
  // has a sample rate.
  if (ref.isNull() || !ref.file()->isValid() || !ref.audioProperties() ||
      ref.audioProperties()->sampleRate() <= 0) {
    return std::nullopt;
  }
  const Fields fields(ref.file()->properties());

  MusicFileTags tags;
  Song& song = tags.song;
  song.title = fields("TITLE").value_or(path.stem().string());
  song.artistName = fields("ARTIST").value_or(kUnknownArtist);
  song.albumTitle = fields("ALBUM");
  if (auto genre = fields("GENRE")) song.genreNames.push_back(std::move(*genre));
  if (const int length = ref.audioProperties()->lengthInMilliseconds(); length > 0) {
    song.duration = std::chrono::milliseconds(length);
  }
  std::tie(song.trackNumber, tags.trackCount) =
      numberAndTotal(fields, "TRACKNUMBER", {"TRACKTOTAL", "TOTALTRACKS"});
  std::tie(song.discNumber, tags.discCount) =
      numberAndTotal(fields, "DISCNUMBER", {"DISCTOTAL", "TOTALDISCS"});
  song.releaseDate = releaseDate(fields);
  tags.compilation = isTrue(fields("COMPILATION"));
  tags.albumArtist = fields("ALBUMARTIST");
  if (!tags.albumArtist && tags.compilation) tags.albumArtist = kVariousArtists;

  std::optional<std::string> artwork;
  if (const auto picture = embeddedPicture(ref.file())) {
    artwork = keep(std::string_view(picture->data(), picture->size()));
  }
  if (!artwork && coverBeside) artwork = fileURL(*coverBeside);
  if (artwork) song.artwork = Artwork{.urlTemplate = std::move(*artwork)};
  return tags;
}

std::string fileURL(const std::filesystem::path& path) {
  return "file://" + percentEncodedPath(path.string());
}

}  // namespace melodock

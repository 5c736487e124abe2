// Music files made at test time: short audio encoded once per test program, copied and
// tagged with TagLib for each test.
#pragma once

#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>

#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>

#include "tests/platform/music/audio_files.h"
#include "tests/support/loopback.h"

namespace melodock {

// The formats read, each made as half a second of tone.
struct AudioFormat {
  const char* name;
  const char* extension;
  testing::AudioFormat tone;
};

inline const std::vector<AudioFormat>& audioFormats() {
  using Tone = testing::AudioFormat;
  static const std::vector<AudioFormat> formats = {
      {"FLAC", ".flac", Tone::flac},        {"MP3", ".mp3", Tone::mp3},
      {"Ogg Vorbis", ".ogg", Tone::vorbis}, {"Opus", ".opus", Tone::opus},
      {"M4A AAC", ".m4a", Tone::m4a},       {"M4A ALAC", ".m4a", Tone::alac},
      {"WAV", ".wav", Tone::wav},
  };
  return formats;
}

// The untagged encoded file of `format`, made on first use.
inline std::filesystem::path encodedFile(const AudioFormat& format) {
  static const testing::TempDir folder;
  static std::map<std::string, std::filesystem::path> made;
  if (const auto found = made.find(format.name); found != made.end()) return found->second;
  std::filesystem::path file = folder.path() / (std::to_string(made.size()) + format.extension);
  testing::writeTone(file, format.tone, 500);
  return made[format.name] = file;
}

inline const AudioFormat& audioFormat(const std::string& name) {
  for (const AudioFormat& format : audioFormats()) {
    if (name == format.name) return format;
  }
  throw std::invalid_argument(name);
}

// A copy of `format`'s file at `path` (folders made) with `tags` written by TagLib:
// property names as TagLib's (TITLE, ARTIST, ALBUMARTIST, TRACKNUMBER "3/12", ...).
inline void makeMusicFile(const std::filesystem::path& path, const AudioFormat& format,
                          const std::map<std::string, std::string>& tags = {}) {
  std::filesystem::create_directories(path.parent_path());
  std::filesystem::copy_file(encodedFile(format), path,
                             std::filesystem::copy_options::overwrite_existing);
  if (tags.empty()) return;
  TagLib::FileRef ref(path.c_str());
  if (ref.isNull()) throw std::runtime_error("TagLib cannot open " + path.string());
  TagLib::PropertyMap properties;
  for (const auto& [key, value] : tags) {
    properties.insert(key, TagLib::StringList(TagLib::String(value, TagLib::String::UTF8)));
  }
  ref.file()->setProperties(properties);
  if (!ref.save()) throw std::runtime_error("TagLib cannot save " + path.string());
}

// Bytes that start like a PNG picture.
inline std::string pictureBytes(char fill) {
  return std::string("\x89PNG\r\n\x1a\n", 8) + std::string(200, fill);
}

// Embeds `picture` as the front cover of an MP3 or FLAC file.
inline void embedPicture(const std::filesystem::path& path, const std::string& picture) {
  const TagLib::ByteVector bytes(picture.data(), static_cast<unsigned>(picture.size()));
  if (path.extension() == ".mp3") {
    TagLib::MPEG::File file(path.c_str());
    auto* frame = new TagLib::ID3v2::AttachedPictureFrame;  // the tag owns it
    frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    frame->setMimeType("image/png");
    frame->setPicture(bytes);
    file.ID3v2Tag(true)->addFrame(frame);
    file.save();
  } else {
    TagLib::FLAC::File file(path.c_str());
    auto* cover = new TagLib::FLAC::Picture;  // the file owns it
    cover->setType(TagLib::FLAC::Picture::FrontCover);
    cover->setMimeType("image/png");
    cover->setData(bytes);
    file.addPicture(cover);
    file.save();
  }
}

}  // namespace melodock

// Short audio files made at test time with GStreamer's own encoders: a tone of a given
// length in each format the music folder may hold.
#pragma once

#include <filesystem>
#include <string>

namespace melodock::testing {

enum class AudioFormat { wav, flac, mp3, vorbis, opus, m4a, alac };

// The file's extension, e.g. ".flac".
[[nodiscard]] std::string extensionOf(AudioFormat format);

// Whether this machine has the encoder for `format` (AAC comes with gstreamer1.0-libav).
[[nodiscard]] bool canEncode(AudioFormat format);

// Writes a stereo tone `milliseconds` long (a multiple of 10) to `path`; throws when
// GStreamer cannot.
void writeTone(const std::filesystem::path& path, AudioFormat format, int milliseconds);

}  // namespace melodock::testing

// Measures the music-folder scanner on generated files:
//
//   melodock-bench-scan rates FILES     initial scan (warm cache) in files/s beside
//                                       TagLib's bare read rate on the same files, then
//                                       a rescan with nothing changed
//   melodock-bench-scan memory FILES    peak memory of a process that only scans FILES
//                                       files, and the library's answer time meanwhile
//
// The files are four short encoded files (made with gst-launch-1.0), tagged per album
// of 100 (MP3 and FLAC with an embedded cover), then copied and given titles ("rates")
// or hard-linked ("memory", so that 100k files fit anywhere), in a temporary folder
// removed afterwards.
#include <unistd.h>

#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>
#include <taglib/tpropertymap.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <asio.hpp>

#include "platform/music/library/library.h"
#include "platform/music/scan/folder_scanner.h"
#include "platform/music/scan/tag_reader.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

// CPU time of the whole process (every thread), in seconds: on a shared machine the
// wall clock mostly measures waiting for a core.
double cpuSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The process's peak resident memory (VmHWM), in MiB.
double peakMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with("VmHWM:")) return std::stod(line.substr(6)) / 1024;
  }
  return 0;
}

std::vector<fs::path> encoded(const fs::path& folder) {
  struct Format {
    const char* file;
    const char* encoder;
    const char* tags;
  };
  const std::vector<Format> formats = {
      {"a.mp3", "lamemp3enc target=bitrate cbr=true bitrate=128 ! id3v2mux", "id3v2mux"},
      {"b.flac", "flacenc", "flacenc"},
      {"c.ogg", "vorbisenc ! oggmux", "vorbisenc"},
      {"d.m4a", "avenc_aac ! mp4mux", "mp4mux"},
  };
  std::vector<fs::path> files;
  for (const Format& format : formats) {
    const fs::path file = folder / format.file;
    // Three seconds of audio, tagged as a song of an album.
    const std::string command =
        std::string(
            "gst-launch-1.0 -q audiotestsrc num-buffers=130 ! audioconvert ! "
            "taginject tags=\"title=Bench Song,artist=Bench Artist,album=Bench Album,"
            "genre=Jazz,track-number=3,track-count=12\" ! ") +
        format.encoder + " ! filesink location=" + file.string() + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
      std::cerr << "could not encode " << format.file << '\n';
      std::exit(1);
    }
    files.push_back(file);
  }
  return files;
}

// A picture that starts like a JPEG, 64 KiB as embedded covers often are, different
// for each `seed`.
TagLib::ByteVector cover(unsigned seed) {
  std::string bytes("\xFF\xD8\xFF\xE0", 4);
  bytes.resize(std::size_t{64} * 1024);
  std::uint64_t state = seed * 0x9E3779B97F4A7C15ULL + 1;
  for (std::size_t i = 4; i < bytes.size(); ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    bytes[i] = static_cast<char>(state);
  }
  return {bytes.data(), static_cast<unsigned>(bytes.size())};
}

void tag(const fs::path& file, const std::map<std::string, std::string>& tags) {
  TagLib::FileRef ref(file.c_str());
  TagLib::PropertyMap properties = ref.file()->properties();
  for (const auto& [key, value] : tags) properties.replace(key, TagLib::String(value));
  ref.file()->setProperties(properties);
  ref.save();
}

// Album and artist tags, and for MP3 and FLAC an embedded front cover, on a copy of
// `source`: the songs of an album share them.
fs::path albumTemplate(const fs::path& folder, const fs::path& source, int album) {
  fs::path file = folder / (std::to_string(album) + source.extension().string());
  fs::copy_file(source, file);
  tag(file, {{"ALBUM", "Album " + std::to_string(album)},
             {"ARTIST", "Artist " + std::to_string(album / 10)},
             {"DATE", std::to_string(1960 + album % 60)},
             {"GENRE", album % 2 ? "Jazz" : "Rock"}});
  const auto seed = static_cast<unsigned>(album);
  if (file.extension() == ".mp3") {
    TagLib::MPEG::File mpeg(file.c_str());
    auto* frame = new TagLib::ID3v2::AttachedPictureFrame;  // the tag owns it
    frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    frame->setMimeType("image/jpeg");
    frame->setPicture(cover(seed));
    mpeg.ID3v2Tag(true)->addFrame(frame);
    mpeg.save();
  } else if (file.extension() == ".flac") {
    TagLib::FLAC::File flac(file.c_str());
    auto* picture = new TagLib::FLAC::Picture;  // the file owns it
    picture->setType(TagLib::FLAC::Picture::FrontCover);
    picture->setMimeType("image/jpeg");
    picture->setData(cover(seed));
    flac.addPicture(picture);
    flac.save();
  }
  return file;
}

// `count` files under `root`, 100 to an album folder, 10 album folders to an artist
// folder. The files of an album share its tags and covers; with `link` they are hard
// links of the album's four files (so that 100k files fit anywhere), else copies, each
// with its own title and track number.
std::vector<fs::path> generate(const fs::path& root, const std::vector<fs::path>& sources,
                               int count, bool link) {
  const fs::path templates = root.parent_path() / "templates";
  fs::create_directories(templates);
  std::vector<fs::path> album;
  std::vector<fs::path> files;
  files.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const fs::path folder =
        root / ("Artist " + std::to_string(i / 1000)) / ("Album " + std::to_string(i / 100));
    if (i % 100 == 0) {
      fs::create_directories(folder);
      album.clear();
      for (const fs::path& source : sources) {
        album.push_back(albumTemplate(templates, source, i / 100));
      }
    }
    const fs::path& source = album[static_cast<std::size_t>(i) % album.size()];
    const fs::path file = folder / (std::to_string(i) + " Song" + source.extension().string());
    if (link) {
      fs::create_hard_link(source, file);
    } else {
      fs::copy_file(source, file);
      tag(file, {{"TITLE", "Song " + std::to_string(i)},
                 {"TRACKNUMBER", std::to_string(i % 100 + 1) + "/100"}});
    }
    files.push_back(file);
  }
  return files;
}

struct Rate {
  double wall = 0;  // files per second
  double cpu = 0;   // files per CPU second
};

// TagLib alone: open each file, read its tag and audio properties.
Rate bareRate(const std::vector<fs::path>& files) {
  const auto start = Clock::now();
  const double cpu = cpuSeconds();
  std::size_t characters = 0;
  for (const fs::path& file : files) {
    TagLib::FileRef ref(file.c_str(), true, TagLib::AudioProperties::Average);
    if (ref.isNull()) continue;
    characters += ref.tag()->title().size() + ref.tag()->artist().size() +
                  ref.tag()->album().size() + ref.tag()->genre().size();
    characters += static_cast<std::size_t>(ref.audioProperties()->lengthInMilliseconds() > 0);
  }
  const double elapsed = seconds(Clock::now() - start);
  if (characters == 0) std::cerr << "no tags read\n";
  const auto count = static_cast<double>(files.size());
  return {count / elapsed, count / (cpuSeconds() - cpu)};
}

void rates(const fs::path& work, int count) {
  const std::vector<fs::path> files = generate(work / "Music", encoded(work), count, false);
  // The copies' writeback done first: the library's commits would wait behind it.
  ::sync();
  bareRate(files);  // warms the page cache
  std::vector<Rate> bare;
  std::vector<Rate> scans;
  std::vector<double> rescans;
  for (int round = 0; round < 3; ++round) {
    bare.push_back(bareRate(files));
    fs::remove_all(work / "library");
    fs::remove_all(work / "artwork");
    melodock::Library library(work / "library" / "library.sqlite",
                              [] { return std::chrono::system_clock::now(); });
    melodock::TagReader reader(work / "artwork");
    melodock::FolderScanner scanner(library, reader, {});
    auto start = Clock::now();
    const double cpu = cpuSeconds();
    const melodock::ScanCounts first = scanner.scanAll({work / "Music"});
    scans.push_back({static_cast<double>(first.read) / seconds(Clock::now() - start),
                     static_cast<double>(first.read) / (cpuSeconds() - cpu)});
    start = Clock::now();
    const melodock::ScanCounts again = scanner.scanAll({work / "Music"});
    rescans.push_back(seconds(Clock::now() - start));
    if (first.read != count || again.unchanged != count) {
      std::cerr << "scan read " << first.read << ", rescan found " << again.unchanged << '\n';
    }
  }
  for (std::size_t i = 0; i < bare.size(); ++i) {
    std::printf(
        "round %zu: TagLib bare %.0f files/s, initial scan %.0f files/s (%.0f %%); per CPU "
        "second %.0f and %.0f (%.0f %%); no-change rescan %.3f s\n",
        i + 1, bare[i].wall, scans[i].wall, 100 * scans[i].wall / bare[i].wall, bare[i].cpu,
        scans[i].cpu, 100 * scans[i].cpu / bare[i].cpu, rescans[i]);
  }
}

// One initial scan of `work`/Music in a process that does nothing else, with a library
// request every 20 ms meanwhile: the process's peak memory, and the requests' times.
void scanOnly(const fs::path& work) {
  const double before = peakMiB();
  melodock::Library library(work / "library" / "library.sqlite",
                            [] { return std::chrono::system_clock::now(); });
  // A library request every 20 ms while the scan runs: how long the answer takes. It
  // matches nothing, so its time is the wait behind the scan's batches (the linked
  // songs share their titles: a matching search would time sorting them).
  std::atomic<bool> done{false};
  std::vector<double> answers;
  std::thread asker([&] {
    while (!done) {
      asio::io_context context;
      const auto start = Clock::now();
      auto found = asio::co_spawn(context, library.searchSongs("nomatch", 10), asio::use_future);
      context.run();
      found.get();
      answers.push_back(seconds(Clock::now() - start) * 1000);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  melodock::TagReader reader(work / "artwork");
  melodock::FolderScanner scanner(library, reader, {});
  const auto start = Clock::now();
  const melodock::ScanCounts counts = scanner.scanAll({work / "Music"});
  const double elapsed = seconds(Clock::now() - start);
  done = true;
  asker.join();
  std::sort(answers.begin(), answers.end());
  const auto at = [&](double share) {
    return answers[std::min(answers.size() - 1,
                            static_cast<std::size_t>(share * static_cast<double>(answers.size())))];
  };
  std::printf(
      "%d files read in %.1f s (%.0f files/s); peak memory of the scanning process %.1f MiB "
      "(%.1f MiB before the library opened)\n",
      counts.read, elapsed, counts.read / elapsed, peakMiB(), before);
  std::printf(
      "searchSongs(\"nomatch\") during the scan: %zu answers, p50 %.1f ms, p99 %.1f ms, max %.1f "
      "ms\n",
      answers.size(), at(0.5), at(0.99), answers.back());
  // Then a rescan with nothing changed, which holds every known file in memory.
  const auto again = Clock::now();
  const melodock::ScanCounts unchanged = scanner.scanAll({work / "Music"});
  std::printf("no-change rescan of %d files: %.2f s; peak memory since the start %.1f MiB\n",
              unchanged.unchanged, seconds(Clock::now() - again), peakMiB());
}

// `count` hard links made here, then scanned by a child process of this program, so
// that the peak memory is the scan's alone.
void memory(const fs::path& work, int count) {
  generate(work / "Music", encoded(work), count, true);
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  const std::string command = "'" + self + "' scan '" + work.string() + "'";
  if (std::system(command.c_str()) != 0) std::cerr << "the scanning process failed\n";
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 3 ? argv[1] : "";
  if (mode == "scan") {
    scanOnly(argv[2]);
    return 0;
  }
  if (mode != "rates" && mode != "memory") {
    std::cerr << "usage: melodock-bench-scan rates|memory FILES\n";
    return 2;
  }
  const int count = std::atoi(argv[2]);
  std::string pattern = (fs::temp_directory_path() / "melodock-scan-XXXXXX").string();
  const fs::path work = ::mkdtemp(pattern.data());
  if (mode == "rates") {
    rates(work, count);
  } else {
    memory(work, count);
  }
  fs::remove_all(work);
  return 0;
}

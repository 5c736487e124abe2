// The music folders followed while the app runs: a first full scan, then files dropped
// in, changed and removed noticed through inotify within seconds.
#include "platform/music/scan/music_folder_monitor.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "tests/platform/music/catalog_fixture.h"
#include "tests/platform/music/music_files.h"

namespace melodock {
namespace {

using namespace std::chrono_literals;

class MusicFolderMonitorTest : public ::testing::Test {
 protected:
  // Waits (at most 20 s) until the library's songs have these titles.
  bool songsBecome(const std::vector<std::string>& wanted) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    std::vector<std::string> found;
    while (std::chrono::steady_clock::now() < deadline) {
      found.clear();
      for (const Song& song : await(library_.searchSongs("", 100))) found.push_back(song.title);
      if (found == wanted) return true;
      std::unique_lock lock(mutex_);
      scanned_.wait_for(lock, 100ms);
    }
    ADD_FAILURE() << "songs: " << ::testing::PrintToString(found);
    return false;
  }

  std::filesystem::path music() const { return dir_.path() / "Music"; }
  // A monitor of the folders `folders` gives, each scan counted.
  std::unique_ptr<MusicFolderMonitor> start(MusicFolderMonitor::Folders folders,
                                            std::chrono::hours rescan = std::chrono::hours(0)) {
    MusicFolderMonitor::Options options{.artworkFolder = dir_.path() / "artwork",
                                        .debounce = 50ms,
                                        .scanned = [this](const ScanCounts&) {
                                          const std::lock_guard lock(mutex_);
                                          ++scans_;
                                          scanned_.notify_all();
                                        }};
    if (rescan.count() > 0) options.rescanInterval = rescan;
    return std::make_unique<MusicFolderMonitor>(library_, std::move(folders), options);
  }
  // Folders a test changes while the monitor runs.
  std::vector<std::filesystem::path> folders() {
    const std::lock_guard lock(foldersMutex_);
    return folders_;
  }
  void setFolders(std::vector<std::filesystem::path> folders) {
    const std::lock_guard lock(foldersMutex_);
    folders_ = std::move(folders);
  }

  testing::TempDir dir_;
  Library library_{dir_.path() / "library.sqlite", [] { return std::chrono::system_clock::now(); }};
  std::mutex mutex_;
  std::condition_variable scanned_;
  int scans_ = 0;
  std::mutex foldersMutex_;
  std::vector<std::filesystem::path> folders_{music()};
};

TEST_F(MusicFolderMonitorTest, NoticesFilesAddedChangedAndRemovedWhileRunning) {
  makeMusicFile(music() / "a.mp3", audioFormat("MP3"), {{"TITLE", "Alpha"}});
  const auto monitor = start([this] { return std::vector{music()}; });
  ASSERT_TRUE(songsBecome({"Alpha"}));

  // Written in a new subfolder: the folder is walked and watched, then the file found.
  makeMusicFile(music() / "New" / "Deeper" / "b.flac", audioFormat("FLAC"), {{"TITLE", "Beta"}});
  ASSERT_TRUE(songsBecome({"Alpha", "Beta"}));
  makeMusicFile(music() / "New" / "Deeper" / "c.ogg", audioFormat("Ogg Vorbis"),
                {{"TITLE", "Gamma"}});
  ASSERT_TRUE(songsBecome({"Alpha", "Beta", "Gamma"}));

  makeMusicFile(music() / "a.mp3", audioFormat("MP3"), {{"TITLE", "Alpha Take 2"}});
  ASSERT_TRUE(songsBecome({"Alpha Take 2", "Beta", "Gamma"}));

  std::filesystem::remove(music() / "New" / "Deeper" / "b.flac");
  ASSERT_TRUE(songsBecome({"Alpha Take 2", "Gamma"}));
  std::filesystem::rename(music() / "New", dir_.path() / "Moved");
  ASSERT_TRUE(songsBecome({"Alpha Take 2"}));
}

TEST_F(MusicFolderMonitorTest, StopsPromptlyAndScansAgainWhenAsked) {
  makeMusicFile(music() / "a.mp3", audioFormat("MP3"), {{"TITLE", "Alpha"}});
  {
    const auto monitor = start([this] { return folders(); });
    ASSERT_TRUE(songsBecome({"Alpha"}));
    makeMusicFile(dir_.path() / "Other" / "b.mp3", audioFormat("MP3"), {{"TITLE", "Beta"}});
    setFolders({dir_.path() / "Other"});
    monitor->rescan();
    ASSERT_TRUE(songsBecome({"Beta"}));
  }
  EXPECT_EQ(scans_, 2);
}

TEST_F(MusicFolderMonitorTest, FollowsAChangeOfTheFoldersAtOnce) {
  makeMusicFile(music() / "a.mp3", audioFormat("MP3"), {{"TITLE", "Alpha"}});
  makeMusicFile(dir_.path() / "Other" / "b.mp3", audioFormat("MP3"), {{"TITLE", "Beta"}});
  // No periodic scan comes to help within the test.
  const auto monitor = start([this] { return folders(); }, std::chrono::hours(1));
  ASSERT_TRUE(songsBecome({"Alpha"}));
  monitor->foldersMayHaveChanged();  // the same folders
  setFolders({music(), dir_.path() / "Other"});
  monitor->foldersMayHaveChanged();
  ASSERT_TRUE(songsBecome({"Alpha", "Beta"}));
  // The new folder is watched.
  makeMusicFile(dir_.path() / "Other" / "c.mp3", audioFormat("MP3"), {{"TITLE", "Gamma"}});
  ASSERT_TRUE(songsBecome({"Alpha", "Beta", "Gamma"}));
  setFolders({dir_.path() / "Other"});
  monitor->foldersMayHaveChanged();
  ASSERT_TRUE(songsBecome({"Beta", "Gamma"}));
}

}  // namespace
}  // namespace melodock

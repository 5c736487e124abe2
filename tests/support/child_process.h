// Programs a test starts and drives from outside: the real binary in a user home of its
// own, its standard streams, its exit, and waiting on what other processes do.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace melodock::testing {

// Calls `done` every 10 ms until it says true or `limit` passes; says whether it did.
// For waiting on other processes and threads only.
bool eventually(const std::function<bool()>& done,
                std::chrono::milliseconds limit = std::chrono::seconds(10));

// This process's environment with every XDG folder inside `root` (config, data, cache,
// run, music: created) and the session variables set empty, so that nothing reaches the
// user's real session and nothing is filled in from it.
std::vector<std::string> userEnvironment(const std::filesystem::path& root);
// The settings file of the binary run with `userEnvironment(root)`.
std::filesystem::path settingsFile(const std::filesystem::path& root);

struct ChildLimits {
  rlim_t descriptors = 0;     // 0: as inherited
  bool noFileGrowth = false;  // no file may grow, as on a full disk
};

// Starts `program` with `arguments` and exactly `environment`; its stdin and stdout are
// `input` and `output` (inherited where -1). Returns its id, or -1.
pid_t spawn(const std::string& program, const std::vector<std::string>& arguments,
            const std::vector<std::string>& environment, int input, int output,
            ChildLimits limits = {});

// A started program and the test's ends of its stdin and stdout (one descriptor on a
// terminal). Killed, if still running, and its descriptors closed when it goes.
struct Child {
  Child(pid_t pid, int input, int output) : pid(pid), input(input), output(output) {}
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child();
  void closeInput();

  pid_t pid;
  int input;
  int output;
};

// On new pipes.
Child launchOnPipes(const std::string& program, const std::vector<std::string>& arguments,
                    const std::vector<std::string>& environment, ChildLimits limits = {});
// On a new pseudo-terminal: stdin, stdout and stderr are the terminal.
Child launchOnTerminal(const std::string& program, const std::vector<std::string>& arguments,
                       const std::vector<std::string>& environment);

// What `fd` gives through `end`, waiting at most `timeout`; less when the writer stops
// first. A terminal's CR LF is read as LF.
std::string readThrough(int fd, std::string_view end,
                        std::chrono::milliseconds timeout = std::chrono::seconds(20));

// The exit status (128 + the signal's number when one ended it), or -1 when `pid` is
// still running after `timeout`: it is then killed.
int exitStatus(pid_t pid, std::chrono::milliseconds timeout = std::chrono::seconds(20));

}  // namespace melodock::testing

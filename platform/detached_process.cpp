#include "platform/detached_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace melodock {
namespace {

std::vector<char*> pointers(const std::vector<std::string>& texts) {
  std::vector<char*> result;
  result.reserve(texts.size() + 1);
  for (const std::string& text : texts) result.push_back(const_cast<char*>(text.c_str()));
  result.push_back(nullptr);
  return result;
}

}  // namespace

pid_t launchDetached(const std::filesystem::path& program,
                     const std::vector<std::string>& arguments,
                     const std::vector<std::string>& environment) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  // Descriptors some library opened without close-on-exec must not leak either.
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

  // The starter may ignore SIGPIPE or block signals; the program starts with defaults.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all;
  sigset_t none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::vector<char*> argv = pointers(arguments);
  std::vector<char*> envp = pointers(environment);
  pid_t pid = 0;
  const int error =
      ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    throw std::system_error(error, std::generic_category(), "cannot start " + program.string());
  }
  return pid;
}

std::vector<std::string> environmentFilledFrom(const std::vector<std::string>& fill,
                                               const std::map<std::string, std::string>& from) {
  std::vector<std::string> result;
  for (char** entry = environ; *entry != nullptr; ++entry) result.emplace_back(*entry);
  for (const std::string& name : fill) {
    if (std::getenv(name.c_str()) != nullptr) continue;
    if (const auto it = from.find(name); it != from.end())
      result.push_back(name + "=" + it->second);
  }
  return result;
}

}  // namespace melodock

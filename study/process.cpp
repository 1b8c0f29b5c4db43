#include "study/process.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "study/file_bytes.hpp"

extern char** environ;

namespace fs = std::filesystem;

int run_process(const fs::path& program, const std::vector<std::string>& args, const fs::path& directory,
                const fs::path& input, const fs::path& output, const fs::path& error, bool search_path) {
  std::vector<std::string> words{program.string()};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
  posix_spawn_file_actions_addopen(&actions, 0, input.empty() ? "/dev/null" : input.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, error.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  const int started = search_path ? posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ)
                                  : posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) return -started;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -errno;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return killed_by_signal + WTERMSIG(status);
}

std::string status_text(int status) {
  if (status < 0) return "could not be started (" + std::string(std::strerror(-status)) + ")";
  if (status >= killed_by_signal) return "was killed by signal " + std::to_string(status - killed_by_signal);
  return "ended with status " + std::to_string(status);
}

std::string stop_message(const fs::path& out, const fs::path& err) {
  std::string message;
  std::istringstream lines(read_text(out));
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t begin = line.find_first_not_of(' ');
    if (begin == std::string::npos) continue;
    line = line.substr(begin);
    bool summary = false;
    for (const char* prefix : {"frequency sweep of a", "ordering and symbolic", "top load:", "test: periodic", "every row of cells",
                               "some row of cells", "relaxed limit", "unrelaxed limit", "effective stiffness:"}) {
      summary = summary || line.rfind(prefix, 0) == 0;
    }
    if (summary) continue;
    message += (message.empty() ? "" : " | ") + line;
  }
  std::istringstream errors(read_text(err));
  while (std::getline(errors, line)) {
    if (line.rfind("STOP ", 0) == 0) message += " (" + line + ")";
  }
  return message;
}

std::string shell_quoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string slurm_file_pattern(const fs::path& directory, const std::string& pattern) {
  std::string text;
  for (const char c : (directory / "").string()) text += c == '%' ? std::string("%%") : std::string(1, c);
  return text + pattern;
}

#include "study/process.hpp"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sstream>

#include "study/file_bytes.hpp"

namespace fs = std::filesystem;

int run_process(const fs::path& program, const std::vector<std::string>& args, const fs::path& directory,
                const fs::path& input, const fs::path& output, const fs::path& error, bool search_path) {
  // Everything the child needs is prepared here: between fork and exec a
  // thread of a threaded parent may only make system calls.
  std::vector<std::string> words{program.string()};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const char* in_name = input.empty() ? "/dev/null" : input.c_str();
  // A pipe closed by a successful exec: the child writes its errno into it
  // when it cannot start the program.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return -errno;
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    const int why = errno;
    close(report[0]);
    close(report[1]);
    return -why;
  }
  if (pid == 0) {
    // The child ends with the thread that started it (a killed
    // upscale_study leaves no sweep running); a parent already gone
    // before the request is caught by its process id.
    int why = 0;
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) {
      why = ESRCH;
    } else if (chdir(directory.c_str()) != 0) {
      why = errno;
    } else {
      const int in = open(in_name, O_RDONLY);
      const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = open(error.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) {
        why = errno;
      } else {
        for (const int fd : {in, out, err}) {
          if (fd > 2) close(fd);
        }
        if (search_path) {
          execvp(argv[0], argv.data());
        } else {
          execv(argv[0], argv.data());
        }
        why = errno;
      }
    }
    while (write(report[1], &why, sizeof why) < 0 && errno == EINTR) {
    }
    _exit(127);
  }
  close(report[1]);
  int why = 0;
  ssize_t got;
  while ((got = read(report[0], &why, sizeof why)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -errno;
  }
  if (got == static_cast<ssize_t>(sizeof why)) return -why;
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

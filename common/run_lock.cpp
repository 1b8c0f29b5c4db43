#include "common/run_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/stop.hpp"

std::string working_directory_name() {
  std::error_code error;
  const std::filesystem::path here = std::filesystem::current_path(error);
  return error ? std::string(".") : here.string();
}

namespace {
void take_lock(int fd, int kind, const std::string& what, const std::string& program) {
  int result;
  do {
    result = flock(fd, kind | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result == 0) return;
  if (errno == EWOULDBLOCK) {
    stop_input(what + " is in use by another " + program + " run, which holds its lock; this run is refused" +
               " and has touched no file (wait for the other run to end, or run in another directory)");
  }
  std::fprintf(stderr, "warning: cannot lock %s (%s): runs started beside this one are not kept apart\n",
               what.c_str(), std::strerror(errno));
}
}  // namespace

void lock_exclusively(int fd, const std::string& what, const std::string& program) {
  take_lock(fd, LOCK_EX, what, program);
}

void lock_shared(int fd, const std::string& what, const std::string& program) { take_lock(fd, LOCK_SH, what, program); }

WorkingDirectoryLock::WorkingDirectoryLock(const std::string& program) {
  fd_ = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const std::string what = "the working directory " + working_directory_name();
  if (fd_ < 0) {
    std::fprintf(stderr, "warning: cannot lock %s (%s): runs started beside this one are not kept apart\n",
                 what.c_str(), std::strerror(errno));
    return;
  }
  try {
    lock_exclusively(fd_, what, program);
  } catch (...) {
    close(fd_);
    fd_ = -1;
    throw;
  }
}

WorkingDirectoryLock::~WorkingDirectoryLock() {
  if (fd_ >= 0) close(fd_);
}

#include "study/output_claim.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <sys/file.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "common/run_lock.hpp"
#include "common/stop.hpp"
#include "study/plan.hpp"

namespace fs = std::filesystem;

DirectoryLock::DirectoryLock(const fs::path& directory, Kind kind, int patience_seconds) {
  fd_ = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) stop_input("cannot open the directory \"" + directory.string() + "\": " + std::strerror(errno));
  const int operation = (kind == exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
  for (int tries = 0; tries < 2 * patience_seconds; ++tries) {
    if (flock(fd_, operation) == 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  try {
    const std::string what = "the study directory " + directory.string();
    if (kind == exclusive) {
      lock_exclusively(fd_, what, "upscale_study");
    } else {
      lock_shared(fd_, what, "upscale_study");
    }
  } catch (...) {
    release();
    throw;
  }
}

DirectoryLock::~DirectoryLock() { release(); }

void DirectoryLock::release() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

DirectoryLock claim_output(const Study& study) {
  const fs::path& output = study.output;
  if (fs::is_symlink(output)) {
    stop_input("\"" + output.string() + "\" (the study's output) is a symbolic link; give the directory itself");
  }
  fs::create_directories(output);
  DirectoryLock lock(output, DirectoryLock::exclusive);
  const bool plan = has_plan(output);
  for (const auto& entry : fs::directory_iterator(output)) {
    if (!plan) {
      stop_input("\"" + output.string() + "\" is not empty and holds no study (no " + plan_name + "; it holds \"" +
                 entry.path().filename().string() + "\"): a study writes only into a directory of its own; give "
                 "another output");
    }
    const std::string name = entry.path().filename().string();
    if (name.size() > 1 && name[0] == 'r' && name.find_first_not_of("0123456789", 1) == std::string::npos &&
        entry.is_symlink()) {
      stop_input("\"" + entry.path().string() + "\" is a symbolic link where a realisation's directory belongs; "
                 "the study would write and delete through it: remove the link");
    }
  }
  return lock;
}

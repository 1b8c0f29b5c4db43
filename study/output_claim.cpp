#include "study/output_claim.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <sys/file.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>

#include "common/run_lock.hpp"
#include "common/stop.hpp"
#include "study/file_bytes.hpp"
#include "study/plan.hpp"
#include "study/process.hpp"

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

void refuse_while_slurm_jobs_work_in(const fs::path& output) {
  if (!has_plan(output) || read_plan(output).jobs.rfind("slurm", 0) != 0) return;
  // Every job Slurm still holds (queued, running or ending), with its
  // working directory: the tasks and the merge of a study work in OUTPUT.
  char name[] = "/tmp/upscale_study_squeue_XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) stop_input("cannot make a temporary file to ask Slurm about \"" + output.string() + "\"");
  close(fd);
  const fs::path listing = name, errors = std::string(name) + ".err";
  const int status = run_process("squeue", {"-h", "-o", "%i %Z"}, fs::temp_directory_path(), "", listing, errors, true);
  const std::string jobs = read_text(listing), why = read_text(errors);
  std::error_code ignored;
  fs::remove(listing, ignored);
  fs::remove(errors, ignored);
  if (status != 0) {
    std::string message = "\"";
    message.append(output.string()).append("\" was given to Slurm jobs, and squeue ").append(status_text(status));
    if (!why.empty()) message.append(": ").append(why);
    stop_input(message + "; whether they are over cannot be told, so the output is refused");
  }
  std::error_code error;
  const fs::path here = fs::weakly_canonical(output, error);
  std::istringstream lines(jobs);
  std::string line, in_use;
  while (std::getline(lines, line)) {
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos) continue;
    const fs::path directory = fs::weakly_canonical(line.substr(blank + 1), error);
    if (!error && directory == here) in_use += (in_use.empty() ? "" : ", ") + line.substr(0, blank);
  }
  if (!in_use.empty()) {
    stop_input("\"" + output.string() + "\" is in use by the Slurm jobs " + in_use + " of a study submitted "
               "there (queued or running): another run is refused until they end (scancel stops them)");
  }
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
  // The lock of a study submitted to Slurm lasts as long as its jobs.
  refuse_while_slurm_jobs_work_in(output);
  return lock;
}

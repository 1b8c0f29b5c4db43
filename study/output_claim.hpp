// Taking a study's OUTPUT: one run at a time, and only a directory the
// study owns.
//
// A run that writes into OUTPUT (the local engine, a Slurm submission, a
// merge) holds an exclusive flock on the OUTPUT directory; each Slurm task
// holds a shared one, beside the other tasks, and an exclusive one on its
// realisation's directory.  A second run finds the lock taken and is
// refused with stop_input_error before it touches any file.  The locks
// live as long as their descriptors, and the system drops them when the
// process ends, however it ends.
//
// A study writes only into a directory it made: OUTPUT must be missing,
// empty, or hold a study plan, and no realisation's directory may be a
// symbolic link (the study would write and delete through it).
#pragma once

#include <filesystem>
#include <string>

#include "study/study_file.hpp"

class DirectoryLock {
 public:
  enum Kind { exclusive, shared };
  // Locks `directory` (which must exist), or stops with stop_input_error.
  // With `patience_seconds`, a lock held elsewhere is tried again for that
  // long first (a Slurm task that starts while its study is still being
  // submitted).
  DirectoryLock(const std::filesystem::path& directory, Kind kind, int patience_seconds = 0);
  ~DirectoryLock();
  DirectoryLock(const DirectoryLock&) = delete;
  DirectoryLock& operator=(const DirectoryLock&) = delete;
  DirectoryLock(DirectoryLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  // Lets the lock go before the object ends (a Slurm submission, whose
  // tasks then take their shared locks).
  void release();

 private:
  int fd_ = -1;
};

// Refuses with stop_input_error an OUTPUT whose plan names Slurm jobs
// while Slurm still holds a job working there (queued or running: the
// array's tasks hold no lock while they wait), or when squeue cannot tell.
void refuse_while_slurm_jobs_work_in(const std::filesystem::path& output);

// Makes OUTPUT if it is missing, locks it exclusively, and refuses with
// stop_input_error a non-empty OUTPUT without a study plan, a symbolic
// link in place of a realisation's directory, and an OUTPUT of Slurm jobs
// still queued or running (refuse_while_slurm_jobs_work_in).  Returns the
// lock.
DirectoryLock claim_output(const Study& study);

// One run at a time in a working directory.
//
// Two runs writing the same fixed-name files at once would leave each file
// mixed from both, and both would end as if nothing had happened.  A run
// therefore takes an advisory lock (flock) before it opens or truncates any
// file: `upscale` on its working directory itself, so that no extra file is
// left behind; `upscale_sweep` on its table only, so that it may still run
// beside an `upscale` run, whose files it never touches.  The lock lives as
// long as the open descriptor, and the system drops it when the process
// ends, however it ends.  A run that finds the lock taken refuses at once
// (the input/output stop 2) without touching any file; where the file
// system offers no locks, the run warns and goes on.
#pragma once

#include <string>

// Takes an exclusive lock on the open descriptor `fd` without waiting.  When
// another process holds it, stops with stop_input_error and a message that
// `what` (e.g. "the working directory /x") is in use by another run of
// `program`; where locks are not supported, warns on the error stream.
void lock_exclusively(int fd, const std::string& what, const std::string& program);
// The same for a shared lock, which other shared locks admit and an
// exclusive one refuses (the tasks of one study beside each other).
void lock_shared(int fd, const std::string& what, const std::string& program);

// The lock of the working directory, held while the object lives.
class WorkingDirectoryLock {
 public:
  explicit WorkingDirectoryLock(const std::string& program);
  ~WorkingDirectoryLock();
  WorkingDirectoryLock(const WorkingDirectoryLock&) = delete;
  WorkingDirectoryLock& operator=(const WorkingDirectoryLock&) = delete;

 private:
  int fd_ = -1;
};

// The working directory's absolute name, for messages.
std::string working_directory_name();

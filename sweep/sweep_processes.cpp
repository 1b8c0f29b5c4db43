// The job processes of the sweep (sweep/sweep_processes.hpp).
#include "sweep/sweep_processes.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "common/units.hpp"
#include "sweep/job_messages.hpp"
#include "sweep/sweep.hpp"

namespace {

static_assert(std::atomic<std::int32_t>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "the jobs' counters must work across processes");

bool send(int fd, std::int32_t i, JobMessage kind, const std::string& bytes) {
  const JobMessageHeader header{i, kind, bytes.size()};
  return write_all(fd, &header, sizeof header) && write_all(fd, bytes.data(), bytes.size());
}

// How a reaped job ended, from its wait status.
std::string ending(pid_t pid, int status) {
  const std::string process = "process " + std::to_string(pid);
  if (WIFSIGNALED(status)) {
    return process + " was killed by signal " + std::to_string(WTERMSIG(status)) + " (" +
           strsignal(WTERMSIG(status)) + ")";
  }
  if (WIFEXITED(status)) return process + " ended with status " + std::to_string(WEXITSTATUS(status));
  return process + " ended";
}

}  // namespace

void SweepProcesses::CountersRelease::operator()(Counters* counters) const {
  counters->~Counters();
  munmap(counters, sizeof(Counters));
}

SweepProcesses::SweepProcesses(const PassPair& passes, std::int32_t jobs)
    : deck_(passes.sample->deck), slots_(static_cast<std::size_t>(deck_.nfreq) + 1) {
  void* mapped = mmap(nullptr, sizeof(Counters), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) {
    stop_input("cannot map the memory the sweep's jobs share (" + std::string(std::strerror(errno)) + ")");
  }
  counters_.reset(new (mapped) Counters{{1}, {deck_.nfreq + 1}, {false}});
  std::string refused;
  jobs_.reserve(static_cast<std::size_t>(jobs));  // no job lost to a refused allocation once started
  const pid_t sweep = getpid();
  for (std::int32_t w = 1; w <= jobs; ++w) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
      refused = std::string("pipe: ") + std::strerror(errno);
      break;
    }
    const pid_t pid = fork();
    if (pid == 0) {
      close(ends[0]);
      run_job(passes, ends[1], sweep);
    }
    const int fork_error = errno;
    close(ends[1]);
    if (pid < 0) {
      close(ends[0]);
      refused = std::string("fork: ") + std::strerror(fork_error);
      break;
    }
    jobs_.push_back(Job{pid, ends[0], 0});
  }
  if (jobs_.empty()) stop_input("cannot start a process for the sweep (" + refused + ")");
  if (jobs_.size() < static_cast<std::size_t>(jobs)) {
    std::fprintf(stderr, "warning: only %zu of %d jobs could be started (%s); the sweep goes on with them\n",
                 jobs_.size(), static_cast<int>(jobs), refused.c_str());
  }
}

SweepProcesses::~SweepProcesses() {
  counters_->abandoned = true;
  // A job that writes to a closed pipe fails and ends.
  for (Job& job : jobs_) {
    if (job.fd >= 0) close(job.fd);
  }
  for (Job& job : jobs_) {
    while (job.pid > 0 && waitpid(job.pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
}

// --- In the job ---

void SweepProcesses::run_job(const PassPair& passes, int fd, pid_t sweep) {
  // The job dies with the sweep, even one that left before this line.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != sweep) _exit(1);
  for (const Job& earlier : jobs_) close(earlier.fd);
  int status = 0;
  try {
    std::signal(SIGPIPE, SIG_IGN);  // a sweep gone: the write fails
    Units sink;  // this job's own units, silenced
    const BindUnits bind(sink);
    const OutputDiscarded quiet;
    for (;;) {
      const std::int32_t i = counters_->next.fetch_add(1);
      if (counters_->abandoned || i > deck_.nfreq || i > counters_->lowest_stop) break;
      if (!send(fd, i, JobMessage::begun, {})) {
        status = 1;
        break;
      }
      JobMessage kind = JobMessage::point;
      std::string bytes;
      try {
        bytes = encode_point(solve_at(passes, sweep_frequency(deck_, i)));
      } catch (const StopRun& stop) {
        lower_stop(i);
        kind = JobMessage::stop;
        bytes = encode_stop(stop);
      } catch (const std::bad_alloc&) {
        lower_stop(i);
        kind = JobMessage::out_of_memory;
      }
      if (!send(fd, i, kind, bytes)) {
        status = 1;
        break;
      }
    }
  } catch (...) {
    status = 3;  // the frequency begun goes unanswered: the sweep stops there
  }
  // MUMPS removes an instance's out-of-core files when the instance ends.
  try {
    for (RunStorage* run : pass_objects(passes)) {
      if (run->shared != nullptr && !run->shared->out_of_core.empty()) {
        const scalable::SymmetricSolver ended(std::move(run->shared->solver));
      }
    }
  } catch (...) {
    status = 3;
  }
  _exit(status);
}

void SweepProcesses::lower_stop(std::int32_t i) {
  std::int32_t seen = counters_->lowest_stop.load();
  while (i < seen && !counters_->lowest_stop.compare_exchange_weak(seen, i)) {
  }
}

// --- In the sweep ---

const SweepPoint& SweepProcesses::result(std::int32_t i) {
  Slot& slot = slots_[i];
  while (slot.outcome == Outcome::pending) {
    bool running = false;
    for (const Job& job : jobs_) running = running || job.fd >= 0;
    if (!running) {
      fail(i, "frequency " + std::to_string(i) + " was never computed: no job of the sweep is left (" +
                  (endings_.empty() ? std::string("every job ended before it") : endings_) + ")");
      break;
    }
    take_messages();
  }
  if (slot.outcome == Outcome::stop) throw slot.stop;
  if (slot.outcome == Outcome::out_of_memory) throw std::bad_alloc();
  return slot.point;
}

// Waits until some job has written, then takes one message of each job
// that has.
void SweepProcesses::take_messages() {
  std::vector<pollfd> waiting;
  for (const Job& job : jobs_) {
    if (job.fd >= 0) waiting.push_back(pollfd{job.fd, POLLIN, 0});
  }
  while (poll(waiting.data(), waiting.size(), -1) < 0) {
    if (errno != EINTR) {
      throw StopRun{stop_input_error,
                    "cannot wait for the sweep's jobs (poll: " + std::string(std::strerror(errno)) + ")", true};
    }
  }
  for (const pollfd& ready : waiting) {
    if (ready.revents == 0) continue;
    for (Job& job : jobs_) {
      if (job.fd == ready.fd) take_message(job);
    }
  }
}

void SweepProcesses::take_message(Job& job) {
  JobMessageHeader header;
  if (read_all(job.fd, &header, sizeof header) != sizeof header) {
    job_ended(job);
    return;
  }
  const std::int32_t i = header.frequency;
  std::string bytes(header.length, '\0');
  if (i < 1 || i > deck_.nfreq || read_all(job.fd, bytes.data(), bytes.size()) != bytes.size()) {
    kill(job.pid, SIGKILL);  // a job that no longer speaks the messages
    job_ended(job);
    return;
  }
  if (header.kind == JobMessage::begun) {
    job.begun = i;
    return;
  }
  job.begun = 0;
  Slot& slot = slots_[i];
  if (header.kind == JobMessage::point && decode_point(bytes, slot.point)) {
    slot.outcome = Outcome::point;
  } else if (header.kind == JobMessage::stop && decode_stop(bytes, slot.stop)) {
    slot.outcome = Outcome::stop;
  } else if (header.kind == JobMessage::out_of_memory) {
    slot.outcome = Outcome::out_of_memory;
  } else {
    fail(i, "the job computing frequency " + std::to_string(i) + " sent a result the sweep cannot read");
  }
}

// The end of a job's pipe: the job has ended (or is ending); it is reaped,
// and a frequency it began without answering stops the sweep there.
void SweepProcesses::job_ended(Job& job) {
  close(job.fd);
  job.fd = -1;
  const pid_t pid = job.pid;
  job.pid = -1;
  int status = 0;
  pid_t reaped;
  while ((reaped = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
  }
  const bool clean = reaped == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  const std::string how = reaped == pid ? ending(pid, status) : "process " + std::to_string(pid) + " ended";
  if (!clean || job.begun != 0) endings_ += (endings_.empty() ? "" : "; ") + how;
  if (job.begun != 0) {
    fail(job.begun, "the job computing frequency " + std::to_string(job.begun) + " ended before its result: " + how);
    job.begun = 0;
  }
}

void SweepProcesses::fail(std::int32_t i, const std::string& message) {
  slots_[i].outcome = Outcome::stop;
  slots_[i].stop = StopRun{stop_input_error, message, true};
  lower_stop(i);
}

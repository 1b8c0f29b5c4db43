// What this machine, and the limits the process runs under, offer its
// storage: free memory, the address-space limit, the memory control
// groups (how Slurm and containers bound a job) and Slurm's memory per
// task. Each figure is read afresh at every call.
#pragma once

#include <cstdint>
#include <string>

// The memory available now (MemAvailable), bounded by the address space
// the process may still take (its limit less what it holds, less
// memory_headroom), by what its control groups still allow
// (cgroup_memory_left) and by Slurm's memory per task where the job sets
// one (slurm_task_memory, less what the process holds).
std::uint64_t memory_offered();
// What the memory control groups of the process still allow: the least,
// over its group and every ancestor with a limit, of the limit less the
// group's usage (cgroup v2: memory.max and memory.current under `root`;
// v1: memory.limit_in_bytes and memory.usage_in_bytes under root/memory).
// The groups are read from `self` (the format of /proc/self/cgroup). The
// largest value where no group sets a limit, or none can be read.
std::uint64_t cgroup_memory_left(const std::string& root = "/sys/fs/cgroup",
                                 const std::string& self = "/proc/self/cgroup");
// Slurm's memory for one task, in bytes: SLURM_MEM_PER_CPU times
// SLURM_CPUS_PER_TASK (1 where unset), else SLURM_MEM_PER_NODE shared by
// SLURM_NTASKS_PER_NODE tasks (1 where unset); 0 where the job sets none.
std::uint64_t slurm_task_memory();
// What the process holds in memory now (VmRSS).
std::uint64_t resident_bytes();
// The address-space limit less what the process holds (VmSize); the
// largest value when there is no limit.
std::uint64_t address_space_left();
// What a run allocates beside the estimates: thread stacks, the solver's
// small arrays, the output's buffers.
inline constexpr std::uint64_t memory_headroom = std::uint64_t{32} << 20;

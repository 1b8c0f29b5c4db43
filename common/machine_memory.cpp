#include "common/machine_memory.hpp"

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

// The figure of a "/proc" file's line `format` ("VmRSS: %llu kB"), in
// bytes; `absent` where the file or the line cannot be read.
std::uint64_t kib_line(const char* file, const char* format, std::uint64_t absent) {
  std::uint64_t bytes = absent;
  if (std::FILE* in = std::fopen(file, "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, in) != nullptr) {
      unsigned long long kib = 0;
      if (std::sscanf(line, format, &kib) == 1) bytes = static_cast<std::uint64_t>(kib) * 1024;
    }
    std::fclose(in);
  }
  return bytes;
}

}  // namespace

std::uint64_t address_space_left() {
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
    return std::numeric_limits<std::uint64_t>::max();
  }
  // VmSize: the address space the process holds now (its storage, the
  // libraries, the stacks of its threads, the BLAS's buffer once taken).
  const std::uint64_t held = kib_line("/proc/self/status", "VmSize: %llu kB", 0);
  const std::uint64_t cap = static_cast<std::uint64_t>(limit.rlim_cur);
  return held < cap ? cap - held : 0;
}

std::uint64_t memory_offered() {
  std::uint64_t offered =
      kib_line("/proc/meminfo", "MemAvailable: %llu kB", std::numeric_limits<std::uint64_t>::max());
  // Under an address-space limit, what the process does not hold yet, less
  // the headroom of what the run allocates beside its estimate.
  const std::uint64_t left = address_space_left();
  if (left != std::numeric_limits<std::uint64_t>::max()) {
    const std::uint64_t usable = left > memory_headroom ? left - memory_headroom : 0;
    if (usable < offered) offered = usable;
  }
  // A control group's limit (how Slurm and containers bound a job) and
  // Slurm's own figure for the task.
  offered = std::min(offered, cgroup_memory_left());
  if (const std::uint64_t task = slurm_task_memory(); task > 0) {
    const std::uint64_t held = resident_bytes();
    offered = std::min(offered, task > held ? task - held : 0);
  }
  return offered;
}

namespace {

// The first number of a file; false where it cannot be read or holds none
// (cgroup v2 writes "max" where a group sets no limit).
bool read_number(const std::string& path, std::uint64_t& value) {
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return false;
  unsigned long long v = 0;
  const bool read = std::fscanf(file, "%llu", &v) == 1;
  std::fclose(file);
  value = static_cast<std::uint64_t>(v);
  return read;
}

std::uint64_t environment_number(const char* name) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return 0;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text, &end, 10);
  return *end == '\0' || *end == 'M' ? static_cast<std::uint64_t>(v) : 0;
}

}  // namespace

std::uint64_t resident_bytes() { return kib_line("/proc/self/status", "VmRSS: %llu kB", 0); }

std::uint64_t cgroup_memory_left(const std::string& root, const std::string& self) {
  std::uint64_t left = std::numeric_limits<std::uint64_t>::max();
  std::FILE* groups = std::fopen(self.c_str(), "r");
  if (groups == nullptr) return left;
  char line[4096];
  while (std::fgets(line, sizeof line, groups) != nullptr) {
    // "id:controllers:path"; v2 has no controllers, v1's memory group names them.
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const std::size_t first = text.find(':'), second = first == std::string::npos ? first : text.find(':', first + 1);
    if (second == std::string::npos) continue;
    const std::string controllers = text.substr(first + 1, second - first - 1);
    std::string path = text.substr(second + 1);
    const bool v2 = controllers.empty();
    bool memory = false;
    for (std::size_t at = 0; !v2 && at <= controllers.size();) {
      const std::size_t comma = std::min(controllers.find(',', at), controllers.size());
      memory = memory || controllers.compare(at, comma - at, "memory") == 0;
      at = comma + 1;
    }
    if (!v2 && !memory) continue;
    const std::string base = v2 ? root : root + "/memory";
    const char* limit_file = v2 ? "/memory.max" : "/memory.limit_in_bytes";
    const char* usage_file = v2 ? "/memory.current" : "/memory.usage_in_bytes";
    // The group and its ancestors, up to the hierarchy's root.
    for (;;) {
      const std::string dir = base + (path == "/" ? "" : path);
      std::uint64_t limit = 0, usage = 0;
      if (read_number(dir + limit_file, limit) && read_number(dir + usage_file, usage))
        left = std::min(left, limit > usage ? limit - usage : 0);
      if (path.empty() || path == "/") break;
      const std::size_t slash = path.find_last_of('/');
      path = slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
    }
  }
  std::fclose(groups);
  return left;
}

std::uint64_t slurm_task_memory() {
  constexpr std::uint64_t megabyte = std::uint64_t{1} << 20;
  if (const std::uint64_t per_cpu = environment_number("SLURM_MEM_PER_CPU"); per_cpu > 0) {
    const std::uint64_t cpus = environment_number("SLURM_CPUS_PER_TASK");
    return per_cpu * megabyte * (cpus > 0 ? cpus : 1);
  }
  if (const std::uint64_t per_node = environment_number("SLURM_MEM_PER_NODE"); per_node > 0) {
    const std::uint64_t tasks = environment_number("SLURM_NTASKS_PER_NODE");
    return per_node * megabyte / (tasks > 0 ? tasks : 1);
  }
  return 0;
}

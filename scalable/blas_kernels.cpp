#include "scalable/blas_kernels.hpp"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace scalable {

void pin_blas_kernels(char** argv) {
  const char* core = std::getenv("OPENBLAS_CORETYPE");
  if (core != nullptr && std::strcmp(core, blas_core_type) == 0) return;
  // The program's own path (not /proc/self/exe, whose name the process
  // would take on: "exe" in ps and top).
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return;
  path[length] = '\0';
  setenv("OPENBLAS_CORETYPE", blas_core_type, 1);
  execv(path, argv);
}

}  // namespace scalable

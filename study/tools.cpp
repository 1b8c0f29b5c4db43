#include "study/tools.hpp"

#include <unistd.h>

#include "common/stop.hpp"

namespace fs = std::filesystem;

Tools find_tools(const fs::path& directory) {
  const fs::path self = fs::read_symlink("/proc/self/exe");
  const fs::path bin = directory.empty() ? self.parent_path() : fs::absolute(directory);
  Tools tools{bin / "upscale_maps", bin / "upscale_sweep", bin / "upscale_study"};
  for (const fs::path& tool : {tools.maps, tools.sweep}) {
    if (access(tool.c_str(), X_OK) != 0) {
      stop_input("cannot find the program " + tool.string() + " (give the programs' directory with --bin DIR)");
    }
  }
  if (directory.empty()) tools.study = self;
  return tools;
}

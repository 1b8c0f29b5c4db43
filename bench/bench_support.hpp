// Helpers shared by the benchmarks.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// The whole text of a file.
inline std::string slurp(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

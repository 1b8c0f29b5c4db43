#include "study/file_bytes.hpp"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

std::string read_text(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_atomically(const fs::path& file, const std::string& text) {
  const fs::path temporary = file.string() + ".tmp";
  std::FILE* out = std::fopen(temporary.c_str(), "w");
  if (out == nullptr) throw std::runtime_error("cannot create \"" + temporary.string() + "\"");
  const bool written = std::fputs(text.c_str(), out) >= 0;
  if ((std::fclose(out) != 0) || !written) {
    throw std::runtime_error("cannot write \"" + temporary.string() + "\" (output lost)");
  }
  fs::rename(temporary, file);
}

std::string checksum_text(const std::string& bytes) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

std::string checksum_file(const fs::path& file) { return checksum_text(read_text(file)); }

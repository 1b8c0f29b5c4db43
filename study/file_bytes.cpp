#include "study/file_bytes.hpp"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>

namespace fs = std::filesystem;

std::string read_text(const fs::path& file) {
  // Read by hand rather than through a stream, which would turn a failed
  // allocation into a silently short text.
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(file.c_str(), "rb"), &std::fclose);
  std::string text;
  if (in == nullptr) return text;
  char buffer[1 << 16];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0;) text.append(buffer, n);
  return text;
}

void write_atomically(const fs::path& file, const std::string& text) {
  const fs::path temporary = file.string() + ".tmp";
  std::FILE* out = std::fopen(temporary.c_str(), "w");
  if (out == nullptr) throw std::runtime_error("cannot create \"" + temporary.string() + "\"");
  const bool written = std::fputs(text.c_str(), out) >= 0;
  if ((std::fclose(out) != 0) || !written) {
    std::error_code ignored;
    fs::remove(temporary, ignored);  // no half-written file left behind
    throw std::runtime_error("cannot write \"" + temporary.string() + "\" (output lost)");
  }
  fs::rename(temporary, file);
}

std::string checksum_file(const fs::path& file) { return checksum_text(read_text(file)); }

// Helpers shared by the tests: temporary working directories, whole-program
// runs, and capture of what a routine writes to standard output.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// A fresh empty directory under the system's temporary directory; the
// current directory is switched into it for the lifetime of the object.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

std::string read_file(const std::filesystem::path& file);
void write_file(const std::filesystem::path& file, const std::string& text);
std::vector<std::string> split_lines(const std::string& text);

// Runs the built program in `directory` with `deck` on standard input.
struct ProgramRun {
  int exit_status = -1;
  std::string out;  // standard output
  std::string err;  // error stream
};
ProgramRun run_program(const std::filesystem::path& directory, const std::string& deck);

// Redirects standard output (unit 6) to a file while alive; text() returns
// what was written so far (after flushing).
class CapturedOutput {
 public:
  CapturedOutput();
  ~CapturedOutput();
  std::string text();

 private:
  std::filesystem::path file_;
};

// Path of a file in the source tree (examples, expected outputs).
std::filesystem::path source_path(const std::string& relative);

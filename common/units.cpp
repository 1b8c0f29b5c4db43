#include "common/units.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include "common/run_lock.hpp"
#include "common/stop.hpp"

namespace {

constexpr std::size_t buffer_bytes = 1 << 16;

// The units a thread writes to: the ones it has bound, or the process's own.
thread_local Units* bound_units = nullptr;

Units& current() {
  if (bound_units != nullptr) return *bound_units;
  static Units process_units;
  return process_units;
}

std::array<Units::Slot, Units::count>& slots() { return current().slots; }

// Every output that could not be written, each with the system's reason,
// in the order the losses were found; a file is named once.
std::vector<std::string>& lost_outputs() { return current().lost; }

void note_lost_output(const std::string& name) {
  std::vector<std::string>& lost = lost_outputs();
  for (const std::string& known : lost) {
    if (known.compare(0, name.size() + 2, name + " (") == 0) return;
  }
  lost.push_back(name + " (" + std::strerror(errno) + ")");
}

void close_slot(int unit) {
  Units::Slot& slot = slots().at(unit);
  if (slot.file != nullptr) {
    // A write that failed (a full disk) shows in the error flag or in the
    // final flush of fclose; either way the file's data is lost.
    const bool write_failed = std::ferror(slot.file) != 0;
    const bool close_failed = std::fclose(slot.file) != 0;
    if (write_failed || close_failed) note_lost_output("\"" + slot.name + "\"");
    slot.file = nullptr;
    slot.name.clear();
  }
}

std::FILE* connect(int unit, const std::string& file_name) {
  std::FILE* file = std::fopen(file_name.c_str(), "w");
  if (file == nullptr) {
    stop_input("cannot open \"" + file_name + "\" for writing (unit " + std::to_string(unit) +
               "): " + std::strerror(errno));
  }
  std::setvbuf(file, nullptr, _IOFBF, buffer_bytes);
  return file;
}

std::FILE* file_of(int unit) {
  Units::Slot& slot = slots().at(unit);
  if (slot.file != nullptr) return slot.file;
  if (unit == stdout_unit) return stdout;
  slot.name = "fort." + std::to_string(unit);
  slot.file = connect(unit, slot.name);
  return slot.file;
}

}  // namespace

Units::~Units() {
  for (Slot& slot : slots) {
    if (slot.file != nullptr) std::fclose(slot.file);
  }
}

BindUnits::BindUnits(Units& units) : previous_(bound_units) { bound_units = &units; }
BindUnits::~BindUnits() { bound_units = previous_; }

OutputDiscarded::OutputDiscarded() : units_(current()) { ++units_.discard_depth; }
OutputDiscarded::~OutputDiscarded() { --units_.discard_depth; }
bool output_discarded() { return current().discard_depth > 0; }

void open_unit(int unit, const std::string& file_name) {
  if (output_discarded()) return;
  close_unit(unit);
  Units::Slot& slot = slots().at(unit);
  slot.file = connect(unit, file_name);
  slot.name = file_name;
}

void open_unit_exclusive(int unit, const std::string& file_name, const std::string& program) {
  if (output_discarded()) return;
  close_unit(unit);
  // Opened without truncating: a run refused for want of the lock must
  // leave the other run's file as it is.
  const int fd = open(file_name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    stop_input("cannot open \"" + file_name + "\" for writing (unit " + std::to_string(unit) +
               "): " + std::strerror(errno));
  }
  try {
    lock_exclusively(fd, "\"" + file_name + "\" in " + working_directory_name(), program);
  } catch (...) {
    close(fd);
    throw;
  }
  std::FILE* file = fdopen(fd, "w");
  if (file == nullptr) {
    close(fd);
    stop_input("cannot open \"" + file_name + "\" for writing (unit " + std::to_string(unit) +
               "): " + std::strerror(errno));
  }
  std::setvbuf(file, nullptr, _IOFBF, buffer_bytes);
  Units::Slot& slot = slots().at(unit);
  slot.file = file;
  slot.name = file_name;
}

void truncate_unit(int unit) {
  if (output_discarded()) return;
  Units::Slot& slot = slots().at(unit);
  if (slot.file == nullptr) return;
  std::fflush(slot.file);
  // Only a regular file has a length to cut; a device or a pipe named as
  // the output is written as it is.
  struct stat status;
  if (fstat(fileno(slot.file), &status) != 0 || !S_ISREG(status.st_mode)) return;
  if (ftruncate(fileno(slot.file), 0) != 0 || std::fseek(slot.file, 0, SEEK_SET) != 0) {
    stop_input("cannot empty \"" + slot.name + "\" before writing it (unit " + std::to_string(unit) +
               "): " + std::strerror(errno));
  }
}

void close_unit(int unit) {
  if (output_discarded()) return;
  close_slot(unit);
}

bool unit_is_open(int unit) { return slots().at(unit).file != nullptr; }

void flush_all_units() {
  for (Units::Slot& slot : slots()) {
    if (slot.file != nullptr) std::fflush(slot.file);
  }
  std::fflush(stdout);
}

void close_all_units() {
  for (int unit = 0; unit < Units::count; ++unit) close_slot(unit);
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) note_lost_output("standard output");
}

const std::vector<std::string>& lost_output() { return lost_outputs(); }

bool flush_unit(int unit) {
  if (output_discarded()) return true;
  Units::Slot& slot = slots().at(unit);
  if (slot.file == nullptr) return true;
  if (std::fflush(slot.file) == 0 && std::ferror(slot.file) == 0) return true;
  note_lost_output("\"" + slot.name + "\"");
  return false;
}

void write_text(int unit, std::string_view text) {
  if (output_discarded()) return;
  std::fwrite(text.data(), 1, text.size(), file_of(unit));
}

void write_line(int unit, std::string_view text) {
  if (output_discarded()) return;
  std::FILE* file = file_of(unit);
  std::fwrite(text.data(), 1, text.size(), file);
  std::fputc('\n', file);
}

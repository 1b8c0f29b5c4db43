#include "common/units.hpp"

#include <array>
#include <cerrno>
#include <cstring>

#include "common/stop.hpp"

namespace {

constexpr int unit_count = 100;
constexpr std::size_t buffer_bytes = 1 << 16;

struct UnitSlot {
  std::FILE* file = nullptr;
  std::string name;
};

std::array<UnitSlot, unit_count>& slots() {
  static std::array<UnitSlot, unit_count> table;
  return table;
}

int discard_depth = 0;

// The first output that could not be written, with the system's reason.
std::string& first_lost_output() {
  static std::string lost;
  return lost;
}

void note_lost_output(const std::string& name) {
  if (first_lost_output().empty()) first_lost_output() = name + " (" + std::strerror(errno) + ")";
}

void close_slot(int unit) {
  UnitSlot& slot = slots().at(unit);
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
  UnitSlot& slot = slots().at(unit);
  if (slot.file != nullptr) return slot.file;
  if (unit == stdout_unit) return stdout;
  slot.name = "fort." + std::to_string(unit);
  slot.file = connect(unit, slot.name);
  return slot.file;
}

}  // namespace

OutputDiscarded::OutputDiscarded() { ++discard_depth; }
OutputDiscarded::~OutputDiscarded() { --discard_depth; }
bool output_discarded() { return discard_depth > 0; }

void open_unit(int unit, const std::string& file_name) {
  if (output_discarded()) return;
  close_unit(unit);
  UnitSlot& slot = slots().at(unit);
  slot.file = connect(unit, file_name);
  slot.name = file_name;
}

void close_unit(int unit) {
  if (output_discarded()) return;
  close_slot(unit);
}

bool unit_is_open(int unit) { return slots().at(unit).file != nullptr; }

void flush_all_units() {
  for (UnitSlot& slot : slots()) {
    if (slot.file != nullptr) std::fflush(slot.file);
  }
  std::fflush(stdout);
}

void close_all_units() {
  for (int unit = 0; unit < unit_count; ++unit) close_slot(unit);
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) note_lost_output("standard output");
}

const std::string& lost_output() { return first_lost_output(); }

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

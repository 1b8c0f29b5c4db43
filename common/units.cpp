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

void open_unit(int unit, const std::string& file_name) {
  close_unit(unit);
  UnitSlot& slot = slots().at(unit);
  slot.file = connect(unit, file_name);
  slot.name = file_name;
}

void close_unit(int unit) {
  UnitSlot& slot = slots().at(unit);
  if (slot.file != nullptr) {
    std::fclose(slot.file);
    slot.file = nullptr;
    slot.name.clear();
  }
}

bool unit_is_open(int unit) { return slots().at(unit).file != nullptr; }

void flush_all_units() {
  for (UnitSlot& slot : slots()) {
    if (slot.file != nullptr) std::fflush(slot.file);
  }
  std::fflush(stdout);
}

void close_all_units() {
  for (int unit = 0; unit < unit_count; ++unit) close_unit(unit);
  std::fflush(stdout);
}

void write_text(int unit, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), file_of(unit));
}

void write_line(int unit, std::string_view text) {
  std::FILE* file = file_of(unit);
  std::fwrite(text.data(), 1, text.size(), file);
  std::fputc('\n', file);
}

#include "study/plan.hpp"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "common/stop.hpp"
#include "sweep/sweep.hpp"
#include "study/file_bytes.hpp"
#include "study/summary.hpp"

namespace fs = std::filesystem;

std::string shared_inputs(const Study& study, const Tools& tools) {
  std::string text = "deck " + checksum_text(study.deck) + "\n";
  for (const std::string& name : study.case_files) {
    text += "case " + name + " " + checksum_file(study.case_dir / name) + "\n";
  }
  for (const std::string& key_value : study.shaping) text += key_value + "\n";
  text += "programs " + checksum_file(tools.maps) + " " + checksum_file(tools.sweep) + "\n";
  return text;
}

std::uint64_t realisation_seed(const Study& study, std::int32_t r) {
  return study.seed + static_cast<std::uint64_t>(r - 1);
}

std::string manifest_text(const std::string& shared, const Study& study, std::int32_t r) {
  return shared + "realisation_seed " + std::to_string(realisation_seed(study, r)) + "\nrows " +
         std::to_string(study.rows) + "\nstudy " + checksum_text(shared) + "\n";
}

bool has_plan(const fs::path& output) { return fs::is_regular_file(output / plan_name); }

Plan read_plan(const fs::path& output) {
  const fs::path file = output / plan_name;
  std::ifstream in(file);
  if (!in) stop_input("\"" + output.string() + "\" holds no study (no " + plan_name + ")");
  Plan plan;
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t blank = line.find(' ');
    const std::string key = line.substr(0, blank), value = blank == std::string::npos ? "" : line.substr(blank + 1);
    if (key == "study_file") plan.study_file = value;
    if (key == "realisations") plan.realisations = std::atoi(value.c_str());
    if (key == "jobs") plan.jobs = value;
    if (key == "signature") plan.signature = value;
    if (key == "modulus") plan.modulus = value;
    if (key == "error_estimate") plan.error_estimate = value == "yes";
    if (key == "quantity") plan.quantity = value;
  }
  if (plan.realisations < 1) stop_input(file.string() + ": no number of realisations");
  return plan;
}

void write_plan(const Study& study, const Tools& tools, const std::string& jobs) {
  fs::create_directories(study.output);
  const std::string signature = checksum_text(shared_inputs(study, tools));
  bool same = false;
  if (has_plan(study.output)) {
    try {
      const Plan old = read_plan(study.output);
      same = old.signature == signature && old.realisations == study.realisations;
    } catch (const StopRun&) {
      same = false;
    }
  }
  if (!same) fs::remove(study.output / summary_name);
  write_atomically(study.output / plan_name, "study_file " + study.file.string() + "\nrealisations " +
                                                 std::to_string(study.realisations) + "\njobs " + jobs +
                                                 "\nsignature " + signature + "\nmodulus " + study.modulus + "\nload " + study.load +
                                                 "\nerror_estimate " + (study.error_estimate ? "yes" : "no") + "\n" +
                                                 (study.quantity.empty() ? "" : "quantity " + study.quantity + "\n"));
}

namespace {

// The number of rows of a sweep table: its lines that are not blank,
// less its header line (common/table_header.hpp); -1 when there is no
// table.
long table_rows(const fs::path& table) {
  std::ifstream in(table);
  if (!in) return -1;
  long lines = 0;
  std::string line;
  while (std::getline(in, line)) {
    if (line.find_first_not_of(" \t\r") != std::string::npos) ++lines;
  }
  return lines > 0 ? lines - 1 : 0;
}

}  // namespace

bool is_complete(const fs::path& directory, const std::string& signature) {
  if (!fs::is_regular_file(directory / manifest_name)) return false;
  const std::string manifest = std::string("\n").append(read_text(directory / manifest_name));
  if (!signature.empty() && manifest.find("\nstudy " + signature + "\n") == std::string::npos) return false;
  const std::size_t at = manifest.find("\nrows ");
  if (at == std::string::npos) return false;
  const long promised = std::atol(manifest.c_str() + at + 6);
  return promised > 0 && table_rows(directory / sweep_table_name) == promised;
}

#include "study/study_file.hpp"

#include "study/summary.hpp"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>

#include "common/stop.hpp"
#include "common/units.hpp"
#include "driver/pass_storage.hpp"
#include "driver/readata.hpp"
#include "driver/refine.hpp"
#include "maps/maps.hpp"
#include "maps/study_deck.hpp"
#include "medium/cell_fractions.hpp"

namespace fs = std::filesystem;

namespace {

std::string trimmed(const std::string& text) {
  const std::size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return "";
  const std::size_t end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

struct Entry {
  std::string value;
  int line = 0;
};

[[noreturn]] void fault(const fs::path& file, int line, const std::string& key, const std::string& why) {
  stop_input(file.string() + ", line " + std::to_string(line) + ", " + key + ": " + why);
}

std::string read_text(const fs::path& file, const std::string& what) {
  std::ifstream in(file, std::ios::binary);
  if (!in) stop_input("cannot read " + what + " \"" + file.string() + "\"");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void check_positive_real(const fs::path& file, const Entry& e, const std::string& key) {
  const char* begin = e.value.c_str();
  char* end = nullptr;
  const double value = std::strtod(begin, &end);
  if (e.value.empty() || end != begin + e.value.size() || !std::isfinite(value) || !(value > 0)) {
    fault(file, e.line, key, "'" + e.value + "' is not a positive number");
  }
}

// The checks of the study as a whole refuse with stop_bad_parameter; line
// 0 stands for a key that is not written in the file (its default).
[[noreturn]] void limit(const fs::path& file, int line, const std::string& key, const std::string& why) {
  stop_input_parameter(file.string() + (line > 0 ? ", line " + std::to_string(line) : std::string()) + ", " + key +
                       ": " + why);
}

// Every sweep's mesh (the deck's cells split refine x refine, and twice as
// finely for the error estimate) within what the sweep admits, so that a
// study its sweeps would all refuse is refused before anything is written.
void check_refined_mesh(const Study& study, std::map<std::string, Entry>& entries, const Deck& deck) {
  const bool by_refine = entries.count("refine") > 0;
  if (!by_refine && !study.error_estimate) return;
  const char* key = by_refine ? "refine" : "error_estimate";
  const int line = entries[key].line;
  const std::int64_t finest = std::int64_t{study.refine} * (study.error_estimate ? 2 : 1);
  const std::string what = "the deck's " + std::to_string(deck.nx) + " x " + std::to_string(deck.ny) +
                           " cells split " + std::to_string(finest) + " x " + std::to_string(finest) +
                           (study.error_estimate ? " (the error estimate's h/2 included)" : "");
  Deck fine = deck;
  try {
    const OutputDiscarded quiet;
    if (finest > std::numeric_limits<std::int32_t>::max()) stop_run(stop_bad_parameter);
    refine_deck(fine, static_cast<std::int32_t>(finest));
  } catch (const StopRun&) {
    limit(study.file, line, key, what + " exceed 32-bit cell counts");
  }
  if (mesh_unknowns(fine, TopLoad::split) < 0) {
    limit(study.file, line, key, what + " give a mesh too large for the solver's 32-bit indices");
  }
}

// The per-cell files of the program: "binary_ice_gnu.dat" is read in every
// run but shapes only the layer-type-1 cells of the permafrost model (their
// water proportion); "phiw_binary_patchy.dat" is read in the patchy model
// and shapes every cell but those (the permafrost model replaces their
// water by the ice map's).  A map the deck never uses would give identical
// realisations; a file the deck reads but nobody provides fails every one.
void check_per_cell_files(Study& study, std::map<std::string, Entry>& entries, const Deck& deck,
                          const IntMap& matnum, const MapOptions& options) {
  const bool permafrost = deck.key_model == 0;
  study.map_file = map_file_name(options.file);
  const int maps_line = entries["maps"].line;
  if (options.file == MapFile::ice && !some_cell_water(true, deck.key_model, deck.nx, deck.ny, matnum)) {
    limit(study.file, maps_line, "maps",
          "--file ice writes binary_ice_gnu.dat, which this deck reads but never uses (" +
              std::string(permafrost ? "no cell is of layer type 1" : "the shaley-sand model ignores it") +
              "): every realisation would be the same; use --file patchy with a patchy deck (model 1)");
  }
  if (options.file == MapFile::patchy) {
    if (deck.model != 1) {
      limit(study.file, maps_line, "maps",
            "--file patchy writes phiw_binary_patchy.dat, which this deck never reads (model 0, layered water); "
            "use --file ice, or a deck of model 1");
    }
    if (!some_cell_water(false, deck.key_model, deck.nx, deck.ny, matnum)) {
      limit(study.file, maps_line, "maps",
            "--file patchy writes phiw_binary_patchy.dat, whose values this deck replaces by the ice map in "
            "every cell (all are of layer type 1 in the permafrost model); use --file ice");
    }
  }
  std::vector<std::string> needed{"binary_ice_gnu.dat"};
  if (deck.model == 1) needed.push_back("phiw_binary_patchy.dat");
  for (const std::string& name : needed) {
    if (name == study.map_file) continue;
    if (!fs::is_regular_file(study.case_dir / name)) {
      limit(study.file, entries["case"].line, "case",
            "the deck reads \"" + name + "\" in every realisation, and neither the case directory \"" +
                study.case_dir.string() + "\" holds it nor do the maps write it");
    }
    study.case_files.push_back(name);
  }
}

// OUTPUT inside the case would be copied and checksummed with it, and a
// study would then change its own inputs.
void check_output_place(const Study& study, std::map<std::string, Entry>& entries) {
  std::error_code error;
  const fs::path output = fs::weakly_canonical(study.output, error);
  const fs::path case_dir = fs::weakly_canonical(study.case_dir, error);
  const auto [case_end, output_at] = std::mismatch(case_dir.begin(), case_dir.end(), output.begin(), output.end());
  if (case_end == case_dir.end()) {
    const bool given = entries.count("output") != 0;
    limit(study.file, given ? entries["output"].line : 0, "output",
          "\"" + study.output.string() + "\" lies inside the case \"" + study.case_dir.string() +
              "\"; give an output outside it" + (given ? "" : " (the default is named after the study file)"));
  }
}

// The value of `e` as a whole number of at least 1; anything else is a
// fault of the study file naming the line and the key.
std::int32_t whole_number_at_least_one(const fs::path& file, const Entry& e, const char* key) {
  std::int32_t n = 0;
  const auto [end, error] = std::from_chars(e.value.data(), e.value.data() + e.value.size(), n);
  if (error != std::errc() || end != e.value.data() + e.value.size() || n < 1) {
    fault(file, e.line, key, "'" + e.value + "' is not a whole number of at least 1");
  }
  return n;
}

}  // namespace

std::vector<std::string> split_words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
}

Study read_study_file(const fs::path& file) {
  Study study;
  study.file = fs::absolute(file).lexically_normal();
  const std::string text = read_text(study.file, "the study file");

  // 1. Every line: blank, a comment, or key = value with a known key, once.
  static const char* const keys[] = {"case",  "realisations", "seed", "maps", "fmin",   "fmax",
                                     "nfreq", "output",       "slurm", "load", "modulus", "refine", "error_estimate",
                                     "quantity", "ranks", "out_of_core"};
  std::map<std::string, Entry> entries;
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    const std::size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    if (trimmed(line).empty()) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) {
      fault(study.file, number, "'" + trimmed(line) + "'", "not a line of the form key = value");
    }
    const std::string key = trimmed(line.substr(0, equals));
    bool known = false;
    for (const char* k : keys) known = known || key == k;
    if (!known) {
      fault(study.file, number, "'" + key + "'",
            "unknown key (keys: case, realisations, seed, maps, fmin, fmax, nfreq, output, slurm, load, modulus, "
            "refine, error_estimate, quantity, ranks, out_of_core)");
    }
    if (entries.count(key) != 0) {
      fault(study.file, number, key, "given twice (first on line " + std::to_string(entries[key].line) + ")");
    }
    entries[key] = Entry{trimmed(line.substr(equals + 1)), number};
    if (entries[key].value.empty()) fault(study.file, number, key, "the value is empty");
  }
  for (const char* key : {"case", "realisations", "seed", "maps"}) {
    if (entries.count(key) == 0) {
      stop_input(study.file.string() + ", " + key + ": the key is missing (case, realisations, seed and maps are needed)");
    }
  }

  // 2. The values.
  const fs::path base = study.file.parent_path();
  study.case_dir = (base / entries["case"].value).lexically_normal();
  if (!fs::is_regular_file(study.case_dir / "deck.in")) {
    fault(study.file, entries["case"].line, "case",
          "no deck.in in the directory \"" + study.case_dir.string() + "\"");
  }
  {
    const Entry& e = entries["realisations"];
    const auto [end, error] = std::from_chars(e.value.data(), e.value.data() + e.value.size(), study.realisations);
    if (error != std::errc() || end != e.value.data() + e.value.size() || study.realisations < 1) {
      fault(study.file, e.line, "realisations", "'" + e.value + "' is not a whole number from 1 to 2147483647");
    }
    if (study.realisations > max_realisations) {
      limit(study.file, e.line, "realisations", e.value + " realisations exceed the limit of " +
                                                    std::to_string(max_realisations) + " of a study");
    }
  }
  {
    const Entry& e = entries["seed"];
    const auto [end, error] = std::from_chars(e.value.data(), e.value.data() + e.value.size(), study.seed);
    if (error != std::errc() || end != e.value.data() + e.value.size()) {
      fault(study.file, e.line, "seed", "'" + e.value + "' is not a whole number from 0 to 18446744073709551615");
    }
    // Realisation r draws with seed + r - 1: the last one must not wrap
    // round to the seeds of the first.
    const std::uint64_t last_offset = static_cast<std::uint64_t>(study.realisations - 1);
    if (study.seed > std::numeric_limits<std::uint64_t>::max() - last_offset) {
      limit(study.file, e.line, "seed", e.value + " + " + std::to_string(last_offset) + " (the seed of realisation " +
                                            std::to_string(study.realisations) + ") exceeds 18446744073709551615; "
                                            "give a smaller seed");
    }
  }
  study.maps = split_words(entries["maps"].value);
  for (const std::string& word : study.maps) {
    if (word == "--seed") {
      fault(study.file, entries["maps"].line, "maps", "--seed is set by the study (seed + r - 1), not by maps");
    }
  }
  if (entries.count("fmin")) {
    check_positive_real(study.file, entries["fmin"], "fmin");
    study.fmin = entries["fmin"].value;
  }
  if (entries.count("fmax")) {
    check_positive_real(study.file, entries["fmax"], "fmax");
    study.fmax = entries["fmax"].value;
  }
  if (entries.count("nfreq")) {
    const Entry& e = entries["nfreq"];
    const std::int32_t n = whole_number_at_least_one(study.file, e, "nfreq");
    if (n > max_study_nfreq) {
      limit(study.file, e.line, "nfreq", e.value + " frequencies exceed the limit of " +
                                             std::to_string(max_study_nfreq) + " of a study's sweeps");
    }
    study.nfreq = e.value;
  }
  if (entries.count("refine")) {
    study.refine = whole_number_at_least_one(study.file, entries["refine"], "refine");
  }
  if (entries.count("ranks")) {
    study.ranks = whole_number_at_least_one(study.file, entries["ranks"], "ranks");
    if (study.ranks > max_study_ranks) {
      limit(study.file, entries["ranks"].line, "ranks",
            entries["ranks"].value + " ranks exceed the limit of " + std::to_string(max_study_ranks));
    }
  }
  if (entries.count("out_of_core")) {
    // A directory of each machine the sweeps run on, named the same on
    // every one (node-local scratch): absolute, whatever directory a
    // realisation works in.
    const Entry& e = entries["out_of_core"];
    if (!fs::path(e.value).is_absolute()) fault(study.file, e.line, "out_of_core", "'" + e.value + "' is not an absolute path");
    study.out_of_core = e.value;
  }
  if (entries.count("error_estimate")) {
    const Entry& e = entries["error_estimate"];
    if (e.value != "yes" && e.value != "no") fault(study.file, e.line, "error_estimate", "'" + e.value + "' is not yes or no");
    study.error_estimate = e.value == "yes";
  }
  for (const auto& [key, choices] : {std::pair<std::string, std::vector<std::string>>{"load", {"periodic", "piston", "split"}},
                                     {"modulus", {"work", "c33", "mstar"}}}) {
    if (entries.count(key) == 0) continue;
    const Entry& e = entries[key];
    if (std::find(choices.begin(), choices.end(), e.value) == choices.end()) {
      std::string list;
      for (const std::string& c : choices) list += (list.empty() ? "" : " or ") + c;
      fault(study.file, e.line, key, "'" + e.value + "' is not " + list);
    }
    (key == "load" ? study.load : study.modulus) = e.value;
  }
  if (entries.count("quantity")) {
    const Entry& e = entries["quantity"];
    TensorQuantity parsed;
    std::string why;
    if (!parse_tensor_quantity(e.value, parsed, why)) fault(study.file, e.line, "quantity", "'" + e.value + "' " + why);
    study.quantity = e.value;
  }
  study.output = entries.count("output") ? (base / entries["output"].value).lexically_normal()
                                         : base / study.file.stem();
  if (entries.count("slurm")) study.slurm = split_words(entries["slurm"].value);

  // 3. The deck with the study's grid, and the maps options against it.
  Deck deck;
  IntMap matnum;
  study.deck = study_deck_text(study, read_text(study.case_dir / "deck.in", "the deck"));
  std::istringstream deck_text(study.deck);
  const std::string deck_name = (study.case_dir / "deck.in").string();
  try {
    read_study_deck(deck_text, deck_name, deck, matnum);
  } catch (const StopRun& stop) {
    stop_input(deck_name + " (with the study's grid): " + stop.message);
  }
  if (deck.nfreq < 1) {
    stop_input(deck_name + ", line " + std::to_string(deck.nfreq_line) + ": nfreq = " + std::to_string(deck.nfreq) +
               " is not admitted (a sweep needs at least one frequency; the study's nfreq may replace it)");
  }
  if (deck.nfreq > max_study_nfreq) {
    limit(study.file, entries.count("nfreq") ? entries["nfreq"].line : 0, "nfreq",
          "the deck's " + std::to_string(deck.nfreq) + " frequencies exceed the limit of " +
              std::to_string(max_study_nfreq) + " of a study's sweeps (give a smaller nfreq in the study)");
  }
  study.rows = deck.nfreq;
  check_refined_mesh(study, entries, deck);
  MapOptions options;
  try {
    OutputDiscarded quiet;
    options = parse_map_options(study.maps);
    check_map_options(options, deck, matnum);
  } catch (const StopRun& stop) {
    fault(study.file, entries["maps"].line, "maps", stop.message);
  }

  // 4. The study as a whole: the maps it draws, the files it reads, where
  //    it writes.
  check_per_cell_files(study, entries, deck, matnum, options);
  check_output_place(study, entries);
  for (const auto& [key, entry] : entries) {
    // Where the factors are kept changes no result: out_of_core shapes nothing.
    if (key != "case" && key != "realisations" && key != "output" && key != "slurm" && key != "load" &&
        key != "modulus" && key != "out_of_core") {
      study.shaping.push_back(key + " " + entry.value);
    }
  }
  study.shaping.push_back("load " + study.load);
  study.shaping.push_back("modulus " + study.modulus);
  std::sort(study.shaping.begin(), study.shaping.end());
  for (const auto& [key, entry] : entries) {
    const std::string value = key == "case" ? study.case_dir.string() : key == "output" ? study.output.string()
                                                                                          : entry.value;
    study.frozen += key + " = " + value + "\n";
  }
  if (entries.count("output") == 0) study.frozen += "output = " + study.output.string() + "\n";
  return study;
}

std::string study_deck_text(const Study& study, const std::string& deck) {
  const std::string* replacement[] = {&study.fmin, &study.fmax, &study.nfreq};
  std::istringstream in(deck);
  std::string out, line;
  int item = 0;
  while (std::getline(in, line)) {
    // The first three items of the deck are free-format, each the first
    // word of the first non-blank line after the previous one.
    if (item < 3 && line.find_first_not_of(" \t\r") != std::string::npos) {
      if (!replacement[item]->empty()) {
        const std::size_t begin = line.find_first_not_of(" \t\r");
        const std::size_t end = line.find_first_of(" \t\r,", begin);
        line = *replacement[item] + (end == std::string::npos ? "" : "  " + line.substr(end));
      }
      ++item;
    }
    out += line;
    out += '\n';
  }
  return out;
}

std::string realisation_name(std::int32_t r, std::int32_t realisations) {
  // Zero-padded to four digits, or to the digits of the largest number.
  const int width = std::max<int>(4, static_cast<int>(std::to_string(realisations).size()));
  char name[16];
  std::snprintf(name, sizeof name, "r%0*d", width, static_cast<int>(r));
  return name;
}

#include "study/study_file.hpp"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "common/stop.hpp"
#include "common/units.hpp"
#include "study/maps.hpp"
#include "study/study_deck.hpp"

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
  static const char* const keys[] = {"case", "realisations", "seed", "maps", "fmin", "fmax", "nfreq", "output",
                                     "slurm"};
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
            "unknown key (keys: case, realisations, seed, maps, fmin, fmax, nfreq, output, slurm)");
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
  }
  {
    const Entry& e = entries["seed"];
    const auto [end, error] = std::from_chars(e.value.data(), e.value.data() + e.value.size(), study.seed);
    if (error != std::errc() || end != e.value.data() + e.value.size()) {
      fault(study.file, e.line, "seed", "'" + e.value + "' is not a whole number from 0 to 18446744073709551615");
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
    std::int32_t n = 0;
    const auto [end, error] = std::from_chars(e.value.data(), e.value.data() + e.value.size(), n);
    if (error != std::errc() || end != e.value.data() + e.value.size() || n < 1) {
      fault(study.file, e.line, "nfreq", "'" + e.value + "' is not a whole number of at least 1");
    }
    study.nfreq = e.value;
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
  try {
    OutputDiscarded quiet;
    check_map_options(parse_map_options(study.maps), deck, matnum);
  } catch (const StopRun& stop) {
    fault(study.file, entries["maps"].line, "maps", stop.message);
  }
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

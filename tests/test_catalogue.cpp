// The catalogue of bad inputs: every case is a whole run of the program in
// a directory of its own, with the deck on standard input and the per-cell
// files beside it.  Each case states the stop it must end with (the exit
// status is its low eight bits, "STOP n" on the error stream shows all of
// it) and the words its message must carry.  No bad input may crash the
// program, hang it, or let it end normally (status 40).
//
// The table covers: a deck cut short after every one of its lines, a
// non-numeric value on every line and the malformed forms of each kind of
// field, every deck value the program does not admit, missing, short and
// unreadable per-cell files, inputs that cannot be read as text at all (a
// directory, a stream without line ends), every stop of the physics that a
// deck can reach, and values no rock can have that none of those stops
// catches.
//
// A second table holds decks that run to their normal end: numbers typed in
// the wrong columns of a column field, which read as the format says with a
// warning, and the look-alikes that must stay silent.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "common/input.hpp"
#include "common/stop.hpp"
#include "driver/readata.hpp"
#include "tests/test_support.hpp"

namespace {

// --- The good decks the bad ones are made from ---

// Name of the item on each deck line, 1-based: nine scalars, then twenty
// items per layer type.
std::string item_of_line(int line) {
  static const char* const scalars[9] = {"fmin", "fmax", "nfreq", "domain_size", "nx",
                                         "ny",   "key_model", "model", "nmat"};
  static const char* const layer[20] = {"nl",       "akf",      "ro2", "eta", "ro1",      "ro3",    "phi_a",
                                        "phi_layer", "capa_1_0", "capa_3_0", "s3", "rs1", "rs3", "coef_b13",
                                        "ak_air",   "xmu_air",  "ak_s1", "xmu_s1", "ak_s3", "xmu_s3"};
  if (line <= 9) return scalars[line - 1];
  const int i = (line - 10) / 20 + 1;
  return std::string(layer[(line - 10) % 20]) + "(" + std::to_string(i) + ")";
}

// What the reader expects on each line, as its message words it.
std::string kind_of_line(int line) {
  if (line == 7 || line == 8) return "an integer in columns 1-5";
  if (line == 3 || line == 5 || line == 6 || line == 9) return "an integer";
  if (line <= 9) return "a real number";
  return (line - 10) % 20 == 0 ? "an integer" : "a real in columns 1-20";
}

TestDeck two_layer_deck() {
  TestDeck deck;
  deck.nmat = "2";
  deck.layer[0].nl = "1";
  deck.layer[1].nl = "1";
  deck.layer[1].phi_layer = "0.20";
  return deck;
}

std::vector<std::string> deck_lines(const TestDeck& deck) { return split_lines(deck.text()); }

std::string join_lines(const std::vector<std::string>& lines, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count && i < lines.size(); ++i) text += lines[i] + "\n";
  return text;
}

// A per-cell file of nx*ny records "j k value", row by row from the bottom.
std::string uniform_map(int nx, int ny, const std::string& value) {
  std::string text;
  for (int k = 1; k <= ny; ++k) {
    for (int j = 1; j <= nx; ++j) text += std::to_string(j) + " " + std::to_string(k) + " " + value + "\n";
  }
  return text;
}

// --- The table ---

struct BadInput {
  std::string name;  // what is wrong, as a test name
  std::string deck;  // standard input
  std::vector<std::pair<std::string, std::string>> files;  // per-cell files: name, contents
  int stop;                             // expected stop number
  std::vector<std::string> out_words;   // expected on standard output
  std::vector<std::string> err_words;   // expected on the error stream
  // Anything else the case needs in its directory before the run.
  std::function<void(const std::filesystem::path&)> setup = nullptr;
  // When set, standard input comes from this path instead of the deck.
  std::filesystem::path input = {};
};

void PrintTo(const BadInput& input, std::ostream* os) { *os << input.name; }

const std::string ice_map_3x4 = uniform_map(3, 4, "0.15");

BadInput with_deck(std::string name, const TestDeck& deck, int stop, std::vector<std::string> out_words,
                   std::vector<std::string> err_words = {}) {
  return {std::move(name), deck.text(), {{"binary_ice_gnu.dat", ice_map_3x4}}, stop, std::move(out_words),
          std::move(err_words)};
}

BadInput input_error(std::string name, std::string deck, std::string words) {
  return {std::move(name), std::move(deck), {{"binary_ice_gnu.dat", ice_map_3x4}}, 2, {words}, {words}};
}

BadInput parameter_error(std::string name, const TestDeck& deck, std::string words) {
  return with_deck(std::move(name), deck, 3, {words}, {words});
}

void truncated_decks(std::vector<BadInput>& table) {
  for (const TestDeck& deck : {TestDeck(), two_layer_deck()}) {
    const std::vector<std::string> lines = deck_lines(deck);
    for (std::size_t kept = 0; kept < lines.size(); ++kept) {
      const int missing = static_cast<int>(kept) + 1;
      table.push_back(input_error(
          "deck_of_" + std::to_string(lines.size()) + "_lines_cut_after_line_" + std::to_string(kept),
          join_lines(lines, kept),
          "standard input, line " + std::to_string(missing) + ": cannot read " + item_of_line(missing) + ": " +
              kind_of_line(missing) + " expected, found the end of the input"));
    }
  }
}

void non_numeric_lines(std::vector<BadInput>& table) {
  const TestDeck deck = two_layer_deck();
  std::vector<std::string> lines = deck_lines(deck);
  for (std::size_t l = 0; l < lines.size(); ++l) {
    std::vector<std::string> bad = lines;
    bad[l] = "abc";
    const int line = static_cast<int>(l) + 1;
    table.push_back(input_error("word_abc_on_line_" + std::to_string(line), join_lines(bad, bad.size()),
                                "standard input, line " + std::to_string(line) + ": cannot read " +
                                    item_of_line(line) + ": " + kind_of_line(line) +
                                    " expected, found \"abc\""));
  }
}

// Malformed forms of each kind of field: the number is not complete, not of
// its kind, or does not fit.
void malformed_fields(std::vector<BadInput>& table) {
  struct Form {
    const char* name;
    int line;
    const char* text;
    const char* found;  // as the message shows it
  };
  const Form forms[] = {
      {"free_real_with_two_points", 1, "1.0.0", "\"1.0.0\""},
      {"free_real_with_bare_exponent", 1, "1.0e", "\"1.0e\""},
      {"free_real_with_two_signs", 2, "--1000.0", "\"--1000.0\""},
      {"free_real_overflowing", 4, "1.0e999", "\"1.0e999\""},
      {"free_real_infinity_word", 4, "inf", "\"inf\""},
      {"free_real_nan_word", 1, "nan", "\"nan\""},
      {"free_real_hexadecimal", 4, "0x1p0", "\"0x1p0\""},
      {"free_real_leading_comma", 2, ",1000.0", "\"\""},
      {"free_integer_written_as_real", 5, "3.0", "\"3.0\""},
      {"free_integer_with_exponent", 6, "4e0", "\"4e0\""},
      {"free_integer_overflowing", 3, "2147483648", "\"2147483648\""},
      {"free_integer_sign_alone", 9, "-", "\"-\""},
      {"free_integer_layer_thickness_as_real", 10, "4.5", "\"4.5\""},
      {"column_integer_with_letter", 7, "   0x", "\"   0x\""},
      {"column_integer_real_in_columns", 8, "  0.0", "\"  0.0\""},
      {"column_integer_sign_after_digit", 7, "  0- ", "\"  0- \""},
      {"column_real_trailing_letter", 11, "2.25e9x", "\"2.25e9x\""},
      {"column_real_overflowing", 12, "1.0e400", "\"1.0e400\""},
      {"column_real_two_points", 13, "0.001.79", "\"0.001.79\""},
      {"column_real_sign_only", 14, "-", "\"-\""},
      {"column_real_exponent_without_digits", 15, "920.0e+", "\"920.0e+\""},
      {"column_real_word_within_columns", 16, "0.30 porosity", "\"0.30 porosity\""},
  };
  for (const Form& f : forms) {
    std::vector<std::string> lines = deck_lines(TestDeck());
    lines[f.line - 1] = f.text;
    table.push_back(input_error(f.name, join_lines(lines, lines.size()),
                                "standard input, line " + std::to_string(f.line) + ": cannot read " +
                                    item_of_line(f.line) + ": " + kind_of_line(f.line) + " expected, found " +
                                    f.found));
  }
}

void parameters_not_admitted(std::vector<BadInput>& table) {
  struct Value {
    const char* name;
    std::function<void(TestDeck&)> change;
    const char* words;
  };
  const Value values[] = {
      {"domain_size_0", [](TestDeck& d) { d.domain_size = "0.0"; },
       "line 4: domain_size = 0 is not admitted (the height of the sample must be positive)"},
      {"domain_size_negative", [](TestDeck& d) { d.domain_size = "-1.0"; },
       "line 4: domain_size = -1 is not admitted (the height of the sample must be positive)"},
      {"nx_0", [](TestDeck& d) { d.nx = "0"; }, "line 5: nx = 0 is not admitted (it must be at least 1)"},
      {"nx_and_ny_beyond_32_bit_indices", [](TestDeck& d) { d.nx = d.ny = "100000"; },
       "lines 5-6: nx = 100000, ny = 100000: the mesh is too large for the solver's 32-bit indices"},
      {"nx_negative", [](TestDeck& d) { d.nx = "-3"; }, "line 5: nx = -3 is not admitted (it must be at least 1)"},
      {"nx_most_negative", [](TestDeck& d) { d.nx = "-2147483648"; }, "line 5: nx = -2147483648 is not admitted"},
      {"ny_0", [](TestDeck& d) { d.ny = "0"; }, "line 6: ny = 0 is not admitted (it must be at least 1)"},
      {"ny_negative", [](TestDeck& d) { d.ny = "-4"; }, "line 6: ny = -4 is not admitted (it must be at least 1)"},
      {"key_model_5", [](TestDeck& d) { d.key_model = "    5"; },
       "line 7: key_model = 5 is not admitted (it must lie in 0..1)"},
      {"key_model_negative", [](TestDeck& d) { d.key_model = "   -1"; },
       "line 7: key_model = -1 is not admitted (it must lie in 0..1)"},
      {"model_2", [](TestDeck& d) { d.model = "    2"; }, "line 8: model = 2 is not admitted (it must lie in 0..1)"},
      {"model_negative", [](TestDeck& d) { d.model = "   -1"; },
       "line 8: model = -1 is not admitted (it must lie in 0..1)"},
      {"nmat_0", [](TestDeck& d) { d.nmat = "0"; }, "line 9: nmat = 0 is not admitted (it must lie in 1..2)"},
      {"nmat_3", [](TestDeck& d) { d.nmat = "3"; }, "line 9: nmat = 3 is not admitted (it must lie in 1..2)"},
      {"nmat_negative", [](TestDeck& d) { d.nmat = "-1"; }, "line 9: nmat = -1 is not admitted (it must lie in 1..2)"},
      {"nl_1_negative", [](TestDeck& d) { d.layer[0].nl = "-1"; },
       "line 10: nl(1) = -1 is not admitted (a layer thickness cannot be negative)"},
      {"nl_sum_0_one_layer", [](TestDeck& d) { d.layer[0].nl = "0"; },
       "line 29: nl(1) + nl(2) = 0 is not admitted (the layers must hold at least one row of cells)"},
  };
  for (const Value& v : values) {
    TestDeck deck;
    v.change(deck);
    table.push_back(parameter_error(v.name, deck, std::string("standard input, ") + v.words));
  }
  TestDeck deck = two_layer_deck();
  deck.layer[1].nl = "-2";
  table.push_back(parameter_error("nl_2_negative", deck,
                                  "standard input, line 30: nl(2) = -2 is not admitted (a layer thickness cannot "
                                  "be negative)"));
  deck = two_layer_deck();
  deck.layer[0].nl = "0";
  deck.layer[1].nl = "0";
  table.push_back(parameter_error("nl_sum_0_two_layers", deck,
                                  "standard input, line 49: nl(1) + nl(2) = 0 is not admitted"));
  // Thicknesses whose sum does not fit a 32-bit integer: refused, not
  // wrapped around into a negative period.
  deck = two_layer_deck();
  deck.layer[0].nl = "2147483647";
  deck.layer[1].nl = "1";
  table.push_back(parameter_error("nl_sum_beyond_32_bits", deck,
                                  "standard input, line 49: nl(1) + nl(2) = 2147483648 is not admitted (the layer period must fit a 32-bit "
                                  "integer)"));
}

void per_cell_files(std::vector<BadInput>& table) {
  const std::string deck = TestDeck().text();
  const std::string ice = "binary_ice_gnu.dat";
  const std::string patchy = "phiw_binary_patchy.dat";
  auto file_case = [&](std::string name, std::string deck_text,
                       std::vector<std::pair<std::string, std::string>> files, std::string words) {
    table.push_back({std::move(name), std::move(deck_text), std::move(files), 2, {words}, {words}});
  };
  // The ice map is read in every run, whatever the medium model.
  file_case("ice_map_missing_in_the_shaley_sand_model", TestDeck::shaley().text(), {},
            "cannot open \"binary_ice_gnu.dat\": the per-cell ice map is missing or unreadable");
  file_case("ice_map_empty", deck, {{ice, ""}},
            "binary_ice_gnu.dat, line 1: cannot read the value of cell (1,1): a record j, k, value expected, "
            "found the end of the file");
  file_case("ice_map_blank_lines_only", deck, {{ice, "\n  \n\n"}},
            "binary_ice_gnu.dat, line 4: cannot read the value of cell (1,1): a record j, k, value expected, "
            "found the end of the file");
  file_case("ice_map_one_record_short", deck, {{ice, uniform_map(3, 4, "0.15").substr(0, 11 * 9)}},
            "binary_ice_gnu.dat, line 12: cannot read the value of cell (3,4): a record j, k, value expected, "
            "found the end of the file");
  file_case("ice_map_record_of_two_items", deck, {{ice, "1 1 0.15\n2 1\n"}},
            "binary_ice_gnu.dat, line 2: cannot read the value of cell (2,1): three items j, k, value expected, "
            "found \"2 1\"");
  file_case("ice_map_non_numeric_value", deck, {{ice, "1 1 0.15\n2 1 ice\n"}},
            "binary_ice_gnu.dat, line 2: cannot read the value of cell (2,1): a real value expected, found \"ice\"");
  file_case("ice_map_non_numeric_index", deck, {{ice, "1 one 0.15\n"}},
            "binary_ice_gnu.dat, line 1: cannot read the value of cell (1,1): two integers j, k before the value "
            "expected, found \"1 one 0.15\"");
  file_case("ice_map_value_overflowing", deck, {{ice, "1 1 1e999\n"}},
            "binary_ice_gnu.dat, line 1: cannot read the value of cell (1,1): a real value expected, found "
            "\"1e999\"");
  file_case("ice_map_value_with_trailing_letters", deck, {{ice, "1 1 0.15x\n"}},
            "binary_ice_gnu.dat, line 1: cannot read the value of cell (1,1): a real value expected, found "
            "\"0.15x\"");

  TestDeck patchy_deck;
  patchy_deck.model = "    1";
  const std::string pd = patchy_deck.text();
  file_case("patchy_map_missing", pd, {{ice, ice_map_3x4}},
            "cannot open \"phiw_binary_patchy.dat\": the per-cell water proportion file is missing or unreadable");
  file_case("patchy_map_empty", pd, {{ice, ice_map_3x4}, {patchy, ""}},
            "phiw_binary_patchy.dat, line 1: cannot read the water proportion of cell (1,1): a record j, k, value "
            "expected, found the end of the file");
  file_case("patchy_map_one_row_short", pd, {{ice, ice_map_3x4}, {patchy, uniform_map(3, 3, "0.12")}},
            "phiw_binary_patchy.dat, line 10: cannot read the water proportion of cell (1,4): a record j, k, value "
            "expected, found the end of the file");
  file_case("patchy_map_non_numeric_value", pd, {{ice, ice_map_3x4}, {patchy, "1 1 0.12\n2 1 wet\n"}},
            "phiw_binary_patchy.dat, line 2: cannot read the water proportion of cell (2,1): a real value "
            "expected, found \"wet\"");
  file_case("patchy_map_record_of_one_item", pd, {{ice, ice_map_3x4}, {patchy, "0.12\n"}},
            "phiw_binary_patchy.dat, line 1: cannot read the water proportion of cell (1,1): three items j, k, "
            "value expected, found \"0.12\"");
}

// Files the run cannot read or write: a directory in the place of a file.
void unusable_files(std::vector<BadInput>& table) {
  auto directory_named = [](std::string name) {
    return [name](const std::filesystem::path& dir) { std::filesystem::create_directory(dir / name); };
  };
  // A read that fails is reported as such, not as an end of the input.
  const std::string ice_words =
      "binary_ice_gnu.dat, line 1: cannot read the value of cell (1,1): the read failed (Is a directory)";
  BadInput ice{"ice_map_is_a_directory", TestDeck().text(), {}, 2, {ice_words}, {ice_words}};
  ice.setup = directory_named("binary_ice_gnu.dat");
  table.push_back(ice);
  BadInput deck = input_error("deck_is_a_directory", "",
                              "standard input, line 1: cannot read fmin: the read failed (Is a directory)");
  deck.setup = directory_named("deck");
  deck.input = "deck";
  table.push_back(deck);
  // A stream without line ends is refused at the longest line admitted,
  // not read without bound.
  if (std::filesystem::exists("/dev/zero")) {
    BadInput endless = input_error("deck_without_line_ends", "",
                                   "standard input, line 1: cannot read fmin: a real number expected, found a line "
                                   "longer than 67108864 characters");
    endless.input = "/dev/zero";
    table.push_back(endless);
  }
  struct Output {
    const char* name;
    const char* file;
    int unit;
  };
  // A result file opened at the start, a coefficient map of the medium
  // model, and a table written only at the very end of the run.
  const Output outputs[] = {{"result_file_taken_by_a_directory", "vp_anal.phiw", 75},
                            {"coefficient_map_taken_by_a_directory", "xmu1_gnu", 50},
                            {"final_table_taken_by_a_directory", "fort.54", 54}};
  for (const Output& o : outputs) {
    const std::string words =
        "cannot open \"" + std::string(o.file) + "\" for writing (unit " + std::to_string(o.unit) + "): Is a directory";
    BadInput c = with_deck(o.name, TestDeck(), 2, {words}, {words});
    c.setup = directory_named(o.file);
    table.push_back(c);
  }
  table.push_back(input_error("deck_of_binary_bytes", std::string("\x01\x02\xff\xfe\0\x7f\n", 7),
                              "standard input, line 1: cannot read fmin: a real number expected, found "
                              "\"??????\""));
}

void physics_stops(std::vector<BadInput>& table) {
  // 11: a permafrost layer type whose water fills its pores.
  {
    TestDeck deck;
    deck.layer[0].phi_layer = "0.30";
    table.push_back(with_deck("water_equal_to_porosity_in_the_ice_model", deck, 11,
                              {" Ice model, phi_a_m is smaller than phi_layer_m(i) \n ERROR, the code stops \n"
                               " phi_a_m(i) =  0.3  phi_layer_m(i) =  0.3\n"}));
    // The check comes before the rest of the layer is read: a deck that
    // ends right after phi_layer still stops with 11, not with an input error.
    BadInput cut = with_deck("water_equal_to_porosity_on_a_deck_cut_after_it", deck, 11,
                             {" phi_a_m(i) =  0.3  phi_layer_m(i) =  0.3\n"});
    cut.deck = join_lines(deck_lines(deck), 17);
    table.push_back(cut);
    TestDeck second = two_layer_deck();
    second.layer[1].phi_layer = "0.35";
    table.push_back(with_deck("water_above_porosity_in_the_second_layer_type", second, 11,
                              {" phi_a_m(i) =  0.3  phi_layer_m(i) =  0.35\n"}));
  }
  // 222: rows without a layer type.
  {
    TestDeck deck = two_layer_deck();
    deck.layer[0].nl = "2";
    deck.layer[1].nl = "1";
    table.push_back(with_deck("sample_not_a_whole_number_of_layer_periods", deck, 222,
                              {"j,k, matnum(j,k)  1 4 0\n"}));
    TestDeck tall;
    tall.layer[0].nl = "61";
    table.push_back(with_deck("layer_period_taller_than_the_sample", tall, 222, {"j,k, matnum(j,k)  1 1 0\n"}));
  }
  // 45678: ice fraction outside (0, 1).
  {
    BadInput no_ice = with_deck("ice_map_water_above_the_porosity", TestDeck(), 45678, {});
    no_ice.files = {{"binary_ice_gnu.dat", uniform_map(3, 4, "0.35")}};
    table.push_back(no_ice);
    BadInput all_ice = with_deck("ice_map_negative_water_leaves_ice_fraction_above_one", TestDeck(), 45678, {});
    all_ice.files = {{"binary_ice_gnu.dat", uniform_map(3, 4, "-0.8")}};
    table.push_back(all_ice);
    TestDeck deck = two_layer_deck();
    deck.model = "    1";
    BadInput patchy = with_deck("patchy_map_water_above_the_porosity_of_layer_type_2", deck, 45678, {});
    patchy.files = {{"binary_ice_gnu.dat", ice_map_3x4}, {"phiw_binary_patchy.dat", uniform_map(3, 4, "0.4")}};
    table.push_back(patchy);
  }
  // 555: phase fractions that do not add up to 1.
  {
    TestDeck deck = TestDeck::shaley();
    deck.layer[0].phi_layer = "1.0e16";
    table.push_back(with_deck("shaley_sand_water_proportion_too_large_to_add_up", deck, 555, {}));
    TestDeck patchy = TestDeck::shaley();
    patchy.model = "    1";
    BadInput c = with_deck("patchy_water_proportion_too_large_to_add_up", patchy, 555, {});
    c.files = {{"binary_ice_gnu.dat", ice_map_3x4}, {"phiw_binary_patchy.dat", uniform_map(3, 4, "-1.0e16")}};
    table.push_back(c);
  }
  // 12345, 12346: cell (1,1) with a negative Lame coefficient.
  {
    TestDeck deck = TestDeck::shaley();
    deck.layer[0].xmu_s1 = "4.4e11";
    table.push_back(with_deck("frame_of_solid_1_stiffer_in_shear_than_in_bulk", deck, 12345,
                              {" neg. lambda1 j,k    1 1 -"}));
    TestDeck three = TestDeck::shaley();
    three.layer[0].xmu_s3 = "2.1e11";
    table.push_back(with_deck("frame_of_solid_3_stiffer_in_shear_than_in_bulk", three, 12346,
                              {"xlambda3(GPa) (2D) =  -"}));
    // A dry permafrost frame (no water in the ice map) is far too soft in bulk.
    BadInput dry = with_deck("dry_permafrost_cells", TestDeck(), 12345, {" neg. lambda1 j,k    1 1 -"});
    dry.files = {{"binary_ice_gnu.dat", uniform_map(3, 4, "0.0")}};
    table.push_back(dry);
  }
  // 45687, 45688: a strain energy that is not positive definite, in the
  // cells of layer type 2 (row 2, above cell (1,1)).
  {
    TestDeck deck = TestDeck::shaley();
    deck.nmat = "2";
    deck.layer[0].nl = "1";
    deck.layer[1].nl = "1";
    deck.layer[1].eta = "0.0";
    deck.layer[1].xmu_s3 = "-2.1e11";
    table.push_back(with_deck("negative_shear_modulus_of_solid_3_compressional_energy", deck, 45687,
                              {"j,k, strain energy not positive definite  1 2\n"}));
    deck.layer[1].xmu_s3 = "-1.0e8";
    table.push_back(with_deck("negative_shear_modulus_of_solid_3_shear_energy", deck, 45688,
                              {" j,k,strain energy not positive definite 1 2\n"}));
  }
  // 99999, 99998: negative friction between the solids in cell (1,1).
  {
    TestDeck deck = TestDeck::shaley();
    deck.layer[0].coef_b13 = "-1.0e9";
    table.push_back(with_deck("strongly_negative_solid_friction", deck, 99999,
                              {"control1 (must be  positive)  = -"}));
    deck.layer[0].coef_b13 = "-2.0e7";
    table.push_back(with_deck("mildly_negative_solid_friction", deck, 99998,
                              {"Coef. de friccion \n", "control2 (must be  positive)  = -"}));
  }
  // 4: a coefficient that is not a finite number.
  {
    TestDeck deck = TestDeck::shaley();
    deck.layer[0].s3 = "0.0";
    table.push_back(with_deck("shaley_sand_without_shale", deck, 4,
                              {" non-finite coefficient lambda1 in cell j,k = 1 1 value NaN\n"}));
    deck = TestDeck::shaley();
    deck.layer[0].rs1 = "0.0";
    table.push_back(with_deck("shaley_sand_grain_size_zero", deck, 4,
                              {" non-finite coefficient b11 in cell j,k = 1 1 value Infinity\n"}));
  }
  // A frequency that is not positive is refused before anything is computed.
  {
    TestDeck deck;
    deck.fmin = "0.0";
    table.push_back(with_deck("frequency_zero", deck, 3, {"line 1: fmin = 0 is not admitted"}));
    deck.fmin = "-1.0";
    table.push_back(with_deck("frequency_negative", deck, 3, {"line 1: fmin = -1 is not admitted"}));
    deck = TestDeck();
    deck.fmax = "0.0";
    table.push_back(with_deck("grid_frequency_zero", deck, 3, {"line 2: fmax = 0 is not admitted"}));
  }
}

// Values no rock can have.  The stops of the model catch many of them and
// keep their place (the rows above: 11, 45678, 12345, 12346, 45687, 45688,
// 99999, 99998); what they let through is refused after them, a deck item
// with 3, a value of a per-cell file with 2, naming the line and the item.
void impossible_values(std::vector<BadInput>& table) {
  struct Value {
    const char* name;
    TestDeck deck;
    std::function<void(TestDeck&)> change;
    int stop;
    const char* words;
  };
  const TestDeck ice, shale = TestDeck::shaley(), two = two_layer_deck();
  const Value values[] = {
      // Densities without friction once gave speeds taken for modes that do not propagate.
      {"negative_densities_without_friction", ice,
       [](TestDeck& d) {
         d.layer[0].eta = "0.0";
         d.layer[0].ro2 = "-1000.0";
         d.layer[0].ro1 = "-2650.0";
       },
       3,
       "standard input, line 12: ro2(1) = -1000 is not admitted (a density must be positive)"},
      {"zero_density_of_solid_1_in_the_ice_model", ice, [](TestDeck& d) { d.layer[0].ro1 = "0.0"; }, 3,
       "standard input, line 14: ro1(1) = 0 is not admitted (a density must be positive)"},
      {"negative_viscosity", ice, [](TestDeck& d) { d.layer[0].eta = "-0.00179"; }, 3,
       "standard input, line 13: eta(1) = -0.00179 is not admitted (a viscosity cannot be negative)"},
      {"fluid_without_stiffness", ice, [](TestDeck& d) { d.layer[0].akf = "0.0"; }, 3,
       "standard input, line 11: akf(1) = 0 is not admitted (a bulk modulus must be positive)"},
      {"negative_bulk_modulus_of_air", ice, [](TestDeck& d) { d.layer[0].ak_air = "-1.5e5"; }, 3,
       "standard input, line 24: ak_air(1) = -150000 is not admitted (a bulk modulus cannot be negative)"},
      {"negative_grain_size_of_solid_1", shale, [](TestDeck& d) { d.layer[0].rs1 = "-5.0e-5"; }, 3,
       "standard input, line 21: rs1(1) = -5e-05 is not admitted (a grain size must be positive)"},
      {"negative_water_proportion_of_a_shaley_layer", shale, [](TestDeck& d) { d.layer[0].phi_layer = "-0.05"; },
       3, "standard input, line 17: phi_layer(1) = -0.05 is not admitted (a water proportion lies in 0..1)"},
      // Cell (1,1) alone meets the friction stops: values of layer type 2
      // (rows 2, 4) are refused here; in layer type 1 they stop as before.
      {"negative_permeability_in_layer_type_2", two, [](TestDeck& d) { d.layer[1].capa_1_0 = "-1.0e-13"; }, 3,
       "standard input, line 38: capa_1_0(2) = -1e-13 is not admitted (a permeability cannot be negative)"},
      {"negative_solid_friction_in_layer_type_2", two, [](TestDeck& d) { d.layer[1].coef_b13 = "-1.0"; }, 3,
       "standard input, line 43: coef_b13(2) = -1 is not admitted (a friction coefficient cannot be negative)"},
      {"porosity_above_one_in_layer_type_2", two, [](TestDeck& d) { d.layer[1].phi_a = "1.05"; }, 3,
       "standard input, line 36: phi_a(2) = 1.05 is not admitted (a porosity lies in 0..1)"},
      {"negative_permeability_in_layer_type_1_meets_the_friction_stop", two,
       [](TestDeck& d) { d.layer[0].capa_1_0 = "-1.0e-13"; }, 99999, "control1 (must be  positive)  = -"},
      {"porosity_above_one_in_layer_type_1_meets_the_friction_stop", two,
       [](TestDeck& d) { d.layer[0].phi_a = "1.05"; }, 99999, "control1 (must be  positive)  = -"},
  };
  for (const Value& v : values) {
    TestDeck deck = v.deck;
    v.change(deck);
    table.push_back(v.stop == 3 ? parameter_error(v.name, deck, v.words) : with_deck(v.name, deck, v.stop, {v.words}));
  }
  // Water proportions of the per-cell files, named by their line (a blank
  // line ahead of the records shifts them by one).
  std::string map = "\n" + ice_map_3x4;
  map.replace(map.find("2 3 0.15"), 8, "2 3 -0.05");
  BadInput dry = input_error("negative_water_in_the_ice_map", ice.text(),
                             "binary_ice_gnu.dat, line 9: the water proportion of cell (2,3) = -0.05 is not admitted (a "
                             "water proportion lies in 0..1)");
  dry.files = {{"binary_ice_gnu.dat", map}};
  table.push_back(dry);
  TestDeck patchy_deck = shale;
  patchy_deck.model = "    1";
  std::string patchy = uniform_map(3, 4, "0.25");
  patchy.replace(patchy.find("3 4 0.25"), 8, "3 4 1.5");
  BadInput wet = input_error("water_proportion_above_one_in_the_patchy_map", patchy_deck.text(),
                             "phiw_binary_patchy.dat, line 12: the water proportion of cell (3,4) = 1.5 is not admitted (a "
                             "water proportion lies in 0..1)");
  wet.files = {{"binary_ice_gnu.dat", ice_map_3x4}, {"phiw_binary_patchy.dat", patchy}};
  table.push_back(wet);
}

std::vector<BadInput> catalogue() {
  std::vector<BadInput> table;
  truncated_decks(table);
  non_numeric_lines(table);
  malformed_fields(table);
  parameters_not_admitted(table);
  per_cell_files(table);
  unusable_files(table);
  physics_stops(table);
  impossible_values(table);
  return table;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class BadInputRun : public testing::TestWithParam<BadInput> {};

TEST_P(BadInputRun, StopsWithItsStatusAndMessage) {
  const BadInput& c = GetParam();
  ScratchDirectory dir;
  for (const auto& [name, contents] : c.files) write_file(dir.path() / name, contents);
  if (c.setup) c.setup(dir.path());
  const ProgramRun run = c.input.empty() ? run_program(dir.path(), c.deck) : run_program_reading(dir.path(), c.input);

  ASSERT_NE(run.exit_status, -1) << c.name << ": the program was killed by a signal (a crash)\n" << run.err;
  ASSERT_NE(run.exit_status, 40) << c.name << ": the bad input ended as a normal run";
  EXPECT_EQ(run.exit_status, c.stop & 255) << c.name << ": wrong exit status\nerror stream:\n" << run.err;
  EXPECT_TRUE(contains(run.err, "STOP " + std::to_string(c.stop) + "\n"))
      << c.name << ": the error stream must report STOP " << c.stop << "\n"
      << run.err;
  EXPECT_FALSE(contains(run.out, "running time=")) << c.name << ": the run must not reach its end";
  for (const std::string& w : c.out_words) {
    EXPECT_TRUE(contains(run.out, w)) << c.name << ": standard output lacks \"" << w << "\"\nlast lines:\n"
                                      << run.out.substr(run.out.size() > 600 ? run.out.size() - 600 : 0);
  }
  for (const std::string& w : c.err_words) {
    EXPECT_TRUE(contains(run.err, w)) << c.name << ": the error stream lacks \"" << w << "\"\n" << run.err;
  }
}

INSTANTIATE_TEST_SUITE_P(Catalogue, BadInputRun, testing::ValuesIn(catalogue()),
                         [](const testing::TestParamInfo<BadInput>& info) { return info.param.name; });

// The table itself: every case has a distinct name, and the truncated decks
// cover every line of both deck lengths.
TEST(CatalogueTable, CoversEveryLineOfBothDeckLengths) {
  const std::vector<BadInput> table = catalogue();
  int cut_29 = 0, cut_49 = 0, words = 0;
  std::set<std::string> names;
  for (const BadInput& c : table) {
    EXPECT_TRUE(names.insert(c.name).second) << "two cases are named " << c.name;
    cut_29 += c.name.rfind("deck_of_29_lines_cut_after_line_", 0) == 0;
    cut_49 += c.name.rfind("deck_of_49_lines_cut_after_line_", 0) == 0;
    words += c.name.rfind("word_abc_on_line_", 0) == 0;
  }
  EXPECT_EQ(cut_29, 29) << "a one-layer deck must be cut after each of its lines 0..28";
  EXPECT_EQ(cut_49, 49) << "a two-layer deck must be cut after each of its lines 0..48";
  EXPECT_EQ(words, 49) << "every line of the two-layer deck must be tried with a word";
  EXPECT_EQ(item_of_line(30), "nl(2)");
  EXPECT_EQ(item_of_line(49), "xmu_s3(2)");
}

}  // namespace

// --- Decks that run to their normal end ---
//
// A column field reads only its columns.  A number typed to the right of a
// blank field, or begun so late that it runs on past the field's last
// column, keeps the value the field reads but draws a warning naming the
// line and the item; nothing else warns.  Values a model does not use, and
// the zeros that mean an absent phase or no friction, are not refused.

namespace {

struct AcceptedInput {
  std::string name;
  std::string deck;
  std::vector<std::string> warnings;  // each expected on the error stream; no other warning
};

void PrintTo(const AcceptedInput& input, std::ostream* os) { *os << input.name; }

AcceptedInput with_line(std::string name, int line, std::string text, std::vector<std::string> warnings) {
  std::vector<std::string> lines = deck_lines(TestDeck());
  lines[line - 1] = std::move(text);
  return {std::move(name), join_lines(lines, lines.size()), std::move(warnings)};
}

std::vector<AcceptedInput> accepted_inputs() {
  std::vector<AcceptedInput> table = {
      // key_model typed one column too far right reads 0: the ice model.
      with_line("key_model_in_column_6", 7, "     1",
                {"warning: standard input, line 7: key_model reads as 0 from columns 1-5, but the field is blank and "
                 "the number \"1\" stands further right, from column 6\n"}),
      with_line("blank_field_before_a_comment", 23, "                    no friction", {}),
      with_line("blank_field_before_a_number_in_a_comment", 23, "                    b13 is 0.0", {}),
      // A real begun in column 18 is cut to its first three characters.
      // A viscosity of 0 leaves no friction: nothing then fixes the fluid's
      // divergence-free motion, and the refinement of the solution says so.
      with_line("viscosity_from_column_18", 13, "                 0.00179",
                {"warning: standard input, line 13: eta(1) reads as 0 from columns 1-20, but the number "
                 "\"0.00179\" in its last column runs on past column 20\n",
                 "the system is ill-conditioned and the results may be inaccurate\n"}),
      with_line("value_ending_in_column_20_before_a_comment", 11, "              2.25e9 akf", {}),
      // Both slips of one field: no decimal point and a number cut short.
      with_line("grain_size_without_point_from_column_19", 21, "                  12345",
                {"warning: standard input, line 21: rs1(1) is written without a decimal point (12) and reads as "
                 "1.2e-09\n",
                 "warning: standard input, line 21: rs1(1) reads as 1.2e-09 from columns 1-20, but the number "
                 "\"12345\" in its last column runs on past column 20\n"}),
  };
  // The ice model uses neither grain sizes nor the shale proportion; zero
  // viscosity and zero solid friction mean no friction.
  TestDeck unused;
  unused.layer[0].rs1 = "-1.0";
  unused.layer[0].s3 = "-0.5";
  unused.layer[0].eta = "0.0";
  table.push_back({"values_the_ice_model_does_not_use", unused.text(),
                   {"the system is ill-conditioned and the results may be inaccurate\n"}});
  return table;
}

int count_of(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class AcceptedInputRun : public testing::TestWithParam<AcceptedInput> {};

TEST_P(AcceptedInputRun, EndsNormallyWithItsWarningsOnly) {
  const AcceptedInput& c = GetParam();
  ScratchDirectory dir;
  write_file(dir.path() / "binary_ice_gnu.dat", ice_map_3x4);
  const ProgramRun run = run_program(dir.path(), c.deck);
  EXPECT_EQ(run.exit_status, 40) << c.name << ": the run must end normally\n" << run.err;
  for (const std::string& w : c.warnings) {
    EXPECT_TRUE(contains(run.err, w)) << c.name << ": the error stream lacks \"" << w << "\"\n" << run.err;
  }
  EXPECT_EQ(count_of(run.err, "warning:"), static_cast<int>(c.warnings.size()))
      << c.name << ": only the expected warnings may be written\n" << run.err;
}

INSTANTIATE_TEST_SUITE_P(Catalogue, AcceptedInputRun, testing::ValuesIn(accepted_inputs()),
                         [](const testing::TestParamInfo<AcceptedInput>& info) { return info.param.name; });

}  // namespace

// --- Output that cannot be written ---
//
// A result file on a full disk, or an echo sent to one: the data is lost,
// so the run must not end as a normal run.  /dev/full accepts the open and
// fails every write with "No space left on device".

namespace {

bool full_device_available() { return std::filesystem::exists("/dev/full"); }

}  // namespace

TEST(LostOutput, ResultFileOnAFullDiskEndsWithAnOutputError) {
  if (!full_device_available()) GTEST_SKIP() << "no /dev/full on this system";
  ScratchDirectory dir;
  write_file(dir.path() / "binary_ice_gnu.dat", ice_map_3x4);
  std::filesystem::create_symlink("/dev/full", dir.path() / "vp_anal.phiw");
  const ProgramRun run = run_program(dir.path(), TestDeck().text());
  EXPECT_EQ(run.exit_status, 2) << "a run whose result file was lost must end with the input/output error 2\n"
                                << run.err;
  EXPECT_TRUE(contains(run.err, "cannot write \"vp_anal.phiw\" (No space left on device): output lost\n"))
      << "the error stream must name the lost file and the reason\n"
      << run.err;
  EXPECT_TRUE(contains(run.err, "STOP 2\n")) << run.err;
  EXPECT_FALSE(contains(run.err, "STOP 40")) << "the run must not report a normal end";
}

TEST(LostOutput, LostFileKeepsTheStopOfAFailedRun) {
  if (!full_device_available()) GTEST_SKIP() << "no /dev/full on this system";
  ScratchDirectory dir;
  TestDeck deck;
  deck.layer[0].nl = "3";  // row 4 has no layer type: stop 222
  write_file(dir.path() / "binary_ice_gnu.dat", ice_map_3x4);
  std::filesystem::create_symlink("/dev/full", dir.path() / "matnum_p33_gnu");
  const ProgramRun run = run_program(dir.path(), deck.text());
  EXPECT_EQ(run.exit_status, 222) << "the stop of the physics must survive a lost file\n" << run.err;
  EXPECT_TRUE(contains(run.err, "cannot write \"matnum_p33_gnu\"")) << run.err;
}

TEST(LostOutput, EchoToAFullDiskEndsWithAnOutputError) {
  if (!full_device_available()) GTEST_SKIP() << "no /dev/full on this system";
  ScratchDirectory dir;
  write_file(dir.path() / "binary_ice_gnu.dat", ice_map_3x4);
  write_file(dir.path() / "deck.in", TestDeck().text());
  const std::string command = "cd '" + dir.path().string() + "' && '" + std::string(UPSCALE_BINARY) +
                              "' < deck.in > /dev/full 2> stderr.txt";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status)) << "the program was killed by a signal";
  EXPECT_EQ(WEXITSTATUS(status), 2) << "an echo that was lost must end the run with the output error 2";
  const std::string err = read_file(dir.path() / "stderr.txt");
  EXPECT_TRUE(contains(err, "cannot write standard output (No space left on device): output lost\n")) << err;
}

// --- The fuzzing corpus, replayed in every test run ---
//
// The inputs kept in fuzz/corpus (seeds and the inputs of past findings)
// go through the same readers as in the fuzz targets, so that the sanitized
// test run checks them too: each must be read or refused with the reader's
// own stop, never anything else.

namespace {

std::vector<std::filesystem::path> corpus_files(const std::string& target) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(source_path("fuzz/corpus/" + target))) {
    files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

TEST(FuzzCorpus, DecksAreReadOrRefusedWithTheReadersOwnStop) {
  CapturedOutput out;
  const std::vector<std::filesystem::path> files = corpus_files("fuzz_readata");
  ASSERT_FALSE(files.empty()) << "the deck corpus is missing";
  for (const auto& file : files) {
    std::istringstream text(read_file(file));
    LineInput input(text, "standard input");
    Deck deck;
    try {
      readata(input, deck);
      EXPECT_GT(deck.domain_size, 0.0) << file.filename() << ": a deck was accepted with a sample height <= 0";
      EXPECT_GE(std::int64_t{deck.nl(1)} + deck.nl(2), 1) << file.filename();
    } catch (const StopRun& stop) {
      EXPECT_TRUE(stop.code == 2 || stop.code == 3 || stop.code == 11)
          << file.filename() << ": the deck reader ended with stop " << stop.code;
    }
  }
}

TEST(FuzzCorpus, RegressionDecksAreRefusedAsBadParameters) {
  CapturedOutput out;
  for (const char* name : {"domain_size_zero.deck", "nl_sum_beyond_32_bits.deck"}) {
    std::istringstream text(read_file(source_path(std::string("fuzz/corpus/fuzz_readata/") + name)));
    LineInput input(text, "standard input");
    Deck deck;
    try {
      readata(input, deck);
      ADD_FAILURE() << name << " was accepted";
    } catch (const StopRun& stop) {
      EXPECT_EQ(stop.code, 3) << name << " must be refused as a bad deck parameter";
    }
  }
}

TEST(FuzzCorpus, CellRecordsGiveFiniteValuesOrTheInputErrorStop) {
  CapturedOutput out;
  std::vector<std::filesystem::path> files = corpus_files("fuzz_cell_record");
  ASSERT_FALSE(files.empty()) << "the per-cell record corpus is missing";
  for (const auto& file : files) {
    std::istringstream text(read_file(file));
    LineInput input(text, "binary_ice_gnu.dat");
    for (int record = 1; record <= 3600; ++record) {
      try {
        const double value = input.cell_record_value("the value", 1, 1);
        EXPECT_TRUE(std::isfinite(value)) << file.filename() << ": record " << record << " is not finite";
      } catch (const StopRun& stop) {
        EXPECT_EQ(stop.code, 2) << file.filename();
        break;
      }
    }
  }
}

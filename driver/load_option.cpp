#include "driver/load_option.hpp"

#include <string_view>

#include "common/stop.hpp"

bool read_load_option(int argc, const char* const* argv, int& a, TopLoad& load, const std::string& usage) {
  const std::string_view arg = argv[a];
  std::string_view value;
  if (arg == "--load") {
    if (a + 1 >= argc) stop_input_parameter("option --load needs a value, split or piston\n" + usage);
    value = argv[++a];
  } else if (arg.substr(0, 7) == "--load=") {
    value = arg.substr(7);
  } else {
    return false;
  }
  if (value == "split") {
    load = TopLoad::split;
  } else if (value == "piston") {
    load = TopLoad::piston;
  } else {
    stop_input_parameter("--load " + std::string(value) + " is not admitted: the load is split or piston\n" + usage);
  }
  return true;
}

const char* load_name(TopLoad load) { return load == TopLoad::piston ? "piston" : "split"; }

// Checks for the command line's numeric options. CLI11's ranges let NaN
// through (every comparison with it is false) and take infinities for
// numbers, so time options go through FiniteRange instead.
#pragma once

#include <CLI/CLI.hpp>

#include <cmath>
#include <string>

namespace tolvane::cli {

// A finite number from min to max.
inline CLI::Validator FiniteRange(double min, double max) {
  const std::string range = "[" + CLI::detail::to_string(min) + " - " + CLI::detail::to_string(max) + "]";
  return CLI::Validator(
      [min, max, range](std::string& text) -> std::string {
        double value = 0;
        if (!CLI::detail::lexical_cast(text, value) || !std::isfinite(value))
          return "Value " + text + " is not a finite number";
        if (value < min || value > max) return "Value " + text + " not in range " + range;
        return {};
      },
      "FLOAT in " + range);
}

}  // namespace tolvane::cli

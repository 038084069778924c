// Per-iteration times of a benchmark, kept so that a median can be reported
// as a counter and two measurements taken in turn can be compared.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace tolvane {

class Samples {
 public:
  void Add(double value) { m_Values.push_back(value); }
  double Median() const {
    if (m_Values.empty()) return 0;
    std::vector<double> sorted = m_Values;
    const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
    std::nth_element(sorted.begin(), middle, sorted.end());
    return *middle;
  }

 private:
  std::vector<double> m_Values;
};

}  // namespace tolvane

// Rows of one matrix shared between ranks: each rank hands MUMPS the lower
// triangle of its own rows (distributed assembled input), so that no rank
// need hold the whole matrix.
//
// Rank 0 sends words with the analysis (what the rows' pattern follows
// from) and with each factorisation (what their values follow from); on
// every worker a RowSource, made by the program's factory for each
// instance, turns them into the worker's own entries. scalable/ carries
// the words and never reads them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "common/complex.hpp"

namespace scalable {

// A worker's own rows of one instance's matrix.
class RowSource {
 public:
  virtual ~RowSource() = default;
  // From the analysis's words: the pattern of this rank's rows, as the
  // lower-triangle coordinates row() >= column() (1-based).
  virtual void pattern(const std::vector<char>& words, int rank, int ranks) = 0;
  // From a factorisation's words: the values at those coordinates.
  virtual void values(const std::vector<char>& words) = 0;
  virtual std::vector<std::int32_t>& row() = 0;
  virtual std::vector<std::int32_t>& column() = 0;
  virtual std::vector<dcomplex>& value() = 0;
};

using RowSourceFactory = std::unique_ptr<RowSource> (*)();

// Rank 0's share: its own rows (own[r-1] != 0 for row r) and the words the
// workers' sources read at the analysis.
struct RowShare {
  std::vector<unsigned char> own;
  std::vector<char> words;
};

}  // namespace scalable

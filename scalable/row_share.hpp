// Rows of one matrix shared between ranks: every rank, rank 0 included,
// assembles and holds its own rows, hands MUMPS their lower triangle
// (distributed assembled input), and computes their part of the load, of
// the residual and of the backward error, so that no rank holds the whole
// matrix.
//
// Rank 0 sends words with the analysis (what the rows' pattern follows
// from) and with each factorisation (what their values follow from); on
// every rank a RowSource, made by the program's factory for each instance,
// turns them into the rank's own rows. scalable/ carries the words and the
// vectors between the ranks and never reads the rows' algebra: the sources
// do it, each on its own rows, and the ranks combine what they found.
//
// The system is the assembled one with its held unknowns (rows with a
// diagonal and no other nonzero value) eliminated symmetrically: a held
// unknown c has the known value load(c) / a(c,c), which every other row
// moves to its load and clears from its columns.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "common/complex.hpp"

namespace scalable {

// One rank's own rows of one instance's matrix.
class RowSource {
 public:
  virtual ~RowSource() = default;
  // From the analysis's words: this rank's rows, their lower-triangle
  // coordinates row() >= column() (1-based), and room for n-long
  // held() and known().
  virtual void pattern(const std::vector<char>& words, int rank, int ranks) = 0;
  // From a factorisation's words: the values and loads of this rank's
  // rows; held()[c-1] = 1 and known()[c-1] = the value of each held
  // unknown c among them (zero elsewhere, and where the value is zero).
  virtual void values(const std::vector<char>& words) = 0;
  // Once held() and known() hold every rank's: the held unknowns
  // eliminated from this rank's rows; value() the lower triangle's values
  // at row(), column(), and load() the rows' loads in rows() order.
  virtual void eliminate_held() = 0;
  // For the whole solution z: this rank's rows of the residual load - A z
  // in rows() order, and the largest componentwise backward error among
  // these rows (sparse/backward_error.hpp).
  virtual double residual(const dcomplex* z, dcomplex* residual) = 0;

  virtual const std::vector<std::int32_t>& rows() const = 0;  // ascending, 1-based
  virtual std::vector<unsigned char>& held() = 0;
  virtual std::vector<dcomplex>& known() = 0;
  virtual const std::vector<dcomplex>& load() const = 0;
  virtual std::vector<std::int32_t>& row() = 0;
  virtual std::vector<std::int32_t>& column() = 0;
  virtual std::vector<dcomplex>& value() = 0;
};

using RowSourceFactory = std::unique_ptr<RowSource> (*)();

// A rank's source of one instance, with what the ranks exchange: rank 0
// learns every rank's rows at the analysis (all_rows, in rank order, with
// each rank's count and first place), and every rank receives the whole
// solution for its residual.
struct SharedRows {
  std::unique_ptr<RowSource> source;
  std::vector<int> counts, places;     // rank 0: each rank's rows
  std::vector<std::int32_t> all_rows;  // rank 0
  std::vector<dcomplex> gathered;      // rank 0: a vector in all_rows order
  std::vector<dcomplex> solution, own;  // every rank: the whole z; its rows' part of a vector
};

}  // namespace scalable

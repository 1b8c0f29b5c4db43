// The solver's single work block and its two views.
//
// The block is raw storage of nsp double-complex words (16 bytes each).
// The factor driver sees it as integer words (isp, 4*nsp of them) and as
// value words of its family (rsp); the ordering driver sees the integer
// words only.  Which type a region holds changes from phase to phase (the
// provisional pattern of U lies where the values of L and U go later), so
// no region has one fixed type.  The scheme that keeps this well defined:
//
//   * the storage is an array of std::byte, which may hold objects of any
//     type;
//   * a phase that starts writing a region afresh first begins the
//     lifetime of an array of the type it writes there (begin_region:
//     placement new without an initialiser, which for these trivial types
//     emits no code), ending whatever lived there before;
//   * when the symbolic phase is over, the factor structure is made one
//     integer array of exactly its own size, values kept (retype_region),
//     so that the value arrays begun after it do not overlap it;
//   * a later call that reads what an earlier one left (the factor
//     structure and values, read by the solve paths) begins nothing over
//     it, so it reads the very objects that were written.
// All address arithmetic on the views runs on the bytes of the block
// (word_at); array indexing runs inside the arrays begun there.
//
// The integer structure (il, iu, jl, ju) and the value arrays (l, d, u,
// tmp, row) never share a word once the symbolic phase is over, which is
// what lets both kinds of object live side by side.
#pragma once

#include <sys/mman.h>

#include <complex>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "common/complex.hpp"
#include "sparse/factor_scratch.hpp"

namespace sparse {

// Address of word i (1-based) of a view whose word 1 is at `base`.  The
// arithmetic runs on the bytes of the block, which is always defined; the
// result may be handed to begin_region or, where an earlier phase left
// objects of type T there, to std::launder.
template <class T>
inline T* word_at(T* base, std::int64_t i) {
  return reinterpret_cast<T*>(reinterpret_cast<std::byte*>(base) +
                              (i - 1) * static_cast<std::int64_t>(sizeof(T)));
}

// Begins the lifetime of an array of `count` objects of type T at `first`
// (storage inside the work block) and returns a pointer to its element 1.
// The values are indeterminate until written.
template <class T>
inline T* begin_region(T* first, std::int64_t count) {
  return ::new (static_cast<void*>(first)) T[static_cast<std::size_t>(count > 0 ? count : 1)];
}

// Keeps the values of `count` objects of type T at `first` while making
// them one array of their own: memmove onto itself creates the array
// implicitly with the bytes it already holds.  It emits no copy.
template <class T>
inline T* retype_region(T* first, std::int64_t count) {
  std::memmove(first, first, static_cast<std::size_t>(count > 0 ? count : 1) * sizeof(T));
  return std::launder(first);
}

// A caller's work block: nsp value words of 16 bytes, taken once by its
// owner (11102000 words, 178 MB, unless it asks for another size: the
// caller checks that its systems fit), and the scratch of the numeric
// factorisation's fast path beside it.  The block's pages are asked for as
// large pages and are left untouched until a phase writes them.  One block
// serves one factorisation at a time; two threads use two blocks.
struct WorkBlock {
  static constexpr std::int32_t default_nsp = 11102000;

  std::int32_t nsp = 0;
  FactorScratch scratch;

  WorkBlock() { allocate(default_nsp); }
  explicit WorkBlock(std::int32_t words) { allocate(words); }

  // Takes a block of `words` value words in place of the present one.
  // Throws std::bad_alloc when the system refuses it.
  void allocate(std::int32_t words) {
    constexpr std::size_t large_page = std::size_t{2} << 20;
    const std::size_t bytes = (std::size_t{16} * static_cast<std::size_t>(words) + large_page - 1) / large_page *
                              large_page;
    void* memory = std::aligned_alloc(large_page, bytes);
    if (memory == nullptr) throw std::bad_alloc();
    madvise(memory, bytes, MADV_HUGEPAGE);
    storage_.reset(static_cast<std::byte*>(memory));
    nsp = words;
  }

  std::byte* storage() { return storage_.get(); }
  const std::byte* storage() const { return storage_.get(); }

  std::int64_t integer_words() const { return std::int64_t{4} * nsp; }

  // Integer view: isp(1) is the first integer word.
  std::int32_t* isp() { return reinterpret_cast<std::int32_t*>(storage()); }
  // Value view for family V: rsp(1) is the first value word.  The
  // double-complex family covers the block with nsp words; a family with
  // smaller values covers only part of it with the same nsp.
  template <class V = dcomplex>
  V* rsp() { return reinterpret_cast<V*>(storage()); }

 private:
  struct Release {
    void operator()(std::byte* memory) const { std::free(memory); }
  };
  std::unique_ptr<std::byte, Release> storage_;
};

}  // namespace sparse

// Minimum-degree ordering on the element model.
//
// Index names used throughout:
//   vi, vj, vk, vs, vb  vertices (row/column numbers 1..n)
//   ek, es, evi         elements: an eliminated vertex names the element
//                       its elimination created
//   s, b, i, li         entries of the list storage v/link (positions > n)
//   k                   number of vertices eliminated (numbered) so far
//
// List storage: v(s) is the value of entry s and link(s) its successor
// (0 ends a list).  Positions 1..n are not entries: link(vi) heads the list
// of vertex or element vi, and v(vi) is the vertex's mark.  An uneliminated
// vertex's list names its uneliminated neighbours and the active elements
// that contain it; an element's list names its boundary vertices.
//
// Per vertex: next/last chain the degree lists (last(vi) = -d when vi
// heads list d), next(vi) = -j once vi is the j-th vertex eliminated, and
// last(ek) is the size of active element ek.  Tags in mark only grow, so a
// mark below the current tag means "not yet seen in this step".
#include "sparse/md.hpp"

#include "sparse/families.hpp"

using sparse::one_based;

void md(const std::int32_t& n, const std::int32_t* ia, const std::int32_t* ja,
        const std::int32_t& max, std::int32_t* v_, std::int32_t* link_, std::int32_t* head_,
        std::int32_t* last_, std::int32_t* next_, std::int32_t* mark_, std::int32_t& flag) {
  const auto head = one_based(head_);
  const auto last = one_based(last_);
  const auto next = one_based(next_);
  const auto mark = one_based(mark_);

  flag = 0;
  std::int32_t tag = 0;
  mdi(n, ia, ja, max, v_, link_, head_, last_, next_, mark_, tag, flag);
  if (flag != 0) return;

  std::int32_t k = 0;
  std::int32_t dmin = 1;
  while (k < n) {
    // --- Take the vertex of least degree: the one most recently inserted
    // into the lowest non-empty degree list.
    while (head(dmin) <= 0) ++dmin;
    const std::int32_t vk = head(dmin);
    head(dmin) = next(vk);
    if (head(dmin) > 0) last(head(dmin)) = -dmin;

    // --- Number it and make it element ek of size degree - 1.
    ++k;
    next(vk) = -k;
    const std::int32_t ek = vk;
    last(ek) = dmin - 1;
    tag += last(ek);
    mark(vk) = tag;

    std::int32_t tail = 0;
    mdm(vk, tail, v_, link_, last_, next_, mark_);
    mdp(k, ek, tail, v_, link_, head_, last_, next_, mark_);
    mdu(ek, dmin, v_, link_, head_, last_, next_, mark_);
  }

  // --- next(i) = -(step of elimination) becomes ip; last becomes p.
  for (std::int32_t i = 1; i <= n; ++i) {
    next(i) = -next(i);
    last(next(i)) = i;
  }
}

// Initialisation.  Every adjacency vi < vj of the strict upper triangle
// costs two entries, one in each vertex's list, inserted at the front;
// mark counts 1 + the neighbours (the initial degree).  Vertices then go to
// the front of their degree lists in ascending order, so the highest
// numbered vertex of each degree heads its list.
//
// The lists hold each adjacency once: a column repeated within a row (a
// malformed matrix, which the symbolic factorisation rejects afterwards)
// is entered only the first time, because a vertex listed twice would be
// counted twice in every degree and numbered twice, running the ordering
// out of its arrays.  Columns outside 1..n are not vertices and are
// skipped for the same reason.  next(vj) = vi marks vj as entered for row
// vi while the rows are scanned.
void mdi(const std::int32_t& n, const std::int32_t* ia_, const std::int32_t* ja_,
         const std::int32_t& max, std::int32_t* v_, std::int32_t* link_, std::int32_t* head_,
         std::int32_t* last_, std::int32_t* next_, std::int32_t* mark_, const std::int32_t& tag,
         std::int32_t& flag) {
  const auto ia = one_based(ia_);
  const auto ja = one_based(ja_);
  const auto v = one_based(v_);
  const auto link = one_based(link_);
  const auto head = one_based(head_);
  const auto last = one_based(last_);
  const auto next = one_based(next_);
  const auto mark = one_based(mark_);

  for (std::int32_t vi = 1; vi <= n; ++vi) {
    mark(vi) = 1;
    link(vi) = 0;
    head(vi) = 0;
    next(vi) = 0;
  }
  std::int32_t sfs = n + 1;

  for (std::int32_t vi = 1; vi <= n; ++vi) {
    const std::int32_t jmin = ia(vi);
    const std::int32_t jmax = ia(vi + 1) - 1;
    for (std::int32_t j = jmin; j <= jmax; ++j) {
      const std::int32_t vj = ja(j);
      if (vj <= vi || vj > n) continue;
      if (next(vj) == vi) continue;  // repeated column: already entered
      if (sfs >= max) {
        flag = 9 * n + vi;
        return;
      }
      next(vj) = vi;
      v(sfs) = vj;
      link(sfs) = link(vi);
      link(vi) = sfs;
      ++mark(vi);
      v(sfs + 1) = vi;
      link(sfs + 1) = link(vj);
      link(vj) = sfs + 1;
      ++mark(vj);
      sfs += 2;
    }
  }

  for (std::int32_t vi = 1; vi <= n; ++vi) {
    const std::int32_t dvi = mark(vi);
    next(vi) = head(dvi);
    head(dvi) = vi;
    last(vi) = -dvi;
    if (next(vi) > 0) last(next(vi)) = vi;
    mark(vi) = tag;
  }
}

// Forming the element.  The boundary list of ek is threaded, without
// copying, through the entries of vk's own list that name uneliminated
// vertices and through the entries of the elements vk's list names (which
// ek absorbs).  Every vertex of ek ends with mark = tag, so each is taken
// once; absorbed elements get mark = tag too and are inactive from now on.
void mdm(const std::int32_t& vk, std::int32_t& tail, std::int32_t* v_, std::int32_t* link_,
         std::int32_t* last_, std::int32_t* next_, std::int32_t* mark_) {
  const auto v = one_based(v_);
  const auto link = one_based(link_);
  const auto last = one_based(last_);
  const auto next = one_based(next_);
  const auto mark = one_based(mark_);

  const std::int32_t tag = mark(vk);
  tail = vk;
  std::int32_t ls = link(vk);
  while (ls > 0) {
    const std::int32_t s = ls;
    ls = link(s);
    const std::int32_t vs = v(s);
    if (next(vs) >= 0) {
      // an uneliminated neighbour: its entry joins the boundary list
      mark(vs) = tag;
      link(tail) = s;
      tail = s;
    } else {
      // an active element es: its new vertices join, it is absorbed
      const std::int32_t es = vs;
      std::int32_t lb = link(es);
      const std::int32_t blpmax = last(es);
      for (std::int32_t blp = 1; blp <= blpmax; ++blp) {
        const std::int32_t b = lb;
        lb = link(b);
        const std::int32_t vb = v(b);
        if (mark(vb) < tag) {
          mark(vb) = tag;
          link(tail) = b;
          tail = b;
        }
      }
      mark(es) = tag;
    }
  }
  link(tail) = 0;
}

// Purge and mass elimination.  For each vertex vi of ek's boundary list
// (the count is the size of ek when the walk starts; mass elimination
// lowers last(ek) during the walk):
//   1. take vi out of its degree list (if it is in one);
//   2. unlink from vi's list every entry naming vk, a vertex of ek or an
//      absorbed element (mark >= tag), keeping the last one as `free`;
//   3. an empty list means vi is interior to ek: number it now, right after
//      vk, and drop it from ek;
//   4. otherwise classify it: a vertex whose only entry names another
//      element evi is that element's prototype (the first met) or a
//      duplicate of the prototype (adjacent to exactly ek and evi);
//      prototypes move to the end of ek's list so that the degree update
//      meets every non-prototype first; any other vertex needs its degree
//      computed;
//   5. ek takes the freed entry at the front of vi's list.
void mdp(std::int32_t& k, const std::int32_t& ek, std::int32_t& tail, std::int32_t* v_,
         std::int32_t* link_, std::int32_t* head_, std::int32_t* last_, std::int32_t* next_,
         std::int32_t* mark_) {
  const auto v = one_based(v_);
  const auto link = one_based(link_);
  const auto head = one_based(head_);
  const auto last = one_based(last_);
  const auto next = one_based(next_);
  const auto mark = one_based(mark_);

  const std::int32_t tag = mark(ek);
  std::int32_t li = ek;  // entry of the current vertex; i is its predecessor
  const std::int32_t ilpmax = last(ek);
  for (std::int32_t ilp = 1; ilp <= ilpmax; ++ilp) {
    const std::int32_t i = li;
    li = link(i);
    const std::int32_t vi = v(li);

    // 1. out of its degree list
    if (last(vi) != 0) {
      if (last(vi) < 0) {
        head(-last(vi)) = next(vi);
      } else {
        next(last(vi)) = next(vi);
      }
      if (next(vi) > 0) last(next(vi)) = last(vi);
    }

    // 2. purge
    std::int32_t free = 0;
    std::int32_t ls = vi;
    for (std::int32_t s = link(ls); s != 0; s = link(ls)) {
      if (mark(v(s)) >= tag) {
        free = s;
        link(ls) = link(s);
      } else {
        ls = s;
      }
    }

    // 3. mass elimination of an interior vertex
    if (link(vi) == 0) {
      link(i) = link(li);
      if (tail == li) tail = i;
      li = i;
      ++k;
      next(vi) = -k;
      --last(ek);
      continue;
    }

    // 4. classify
    const std::int32_t first = link(vi);
    const std::int32_t evi = v(first);
    if (link(first) == 0 && next(evi) < 0) {
      if (mark(evi) >= 0) {
        // prototype of evi: its overlap count with ek starts
        last(vi) = evi;
        mark(evi) = -1;
        if (li != tail) {
          link(i) = link(li);
          link(tail) = li;
          tail = li;
          li = i;
        }
      } else {
        // duplicate of evi's prototype
        last(vi) = 0;
        --mark(evi);
      }
    } else {
      last(vi) = -ek;
    }

    // 5. ek at the front of vi's list, in the freed entry
    v(free) = ek;
    link(free) = link(vi);
    link(vi) = free;
  }
  link(tail) = 0;
}

// Degree update.  A vertex's degree is 1 + the distinct uneliminated
// vertices reachable through its direct entries and its elements; ek
// contributes its size at once (its vertices carry mark(ek), which is at
// least every tag of this step, so they are not counted again).
//   - duplicates (last = 0) stay out of the degree lists;
//   - a vertex met by a prototype's element (mark < 0 there) is outmatched:
//     its adjacency contains the prototype's, so it gets no degree now and
//     adds itself to the overlap counts of the elements it meets;
//   - a prototype of evi gets size(ek) + size(evi) - overlap by inclusion
//     and exclusion, without an expansion.
// Each vertex with a degree goes to the front of its degree list.
void mdu(const std::int32_t& ek, std::int32_t& dmin, std::int32_t* v_, std::int32_t* link_,
         std::int32_t* head_, std::int32_t* last_, std::int32_t* next_, std::int32_t* mark_) {
  const auto v = one_based(v_);
  const auto link = one_based(link_);
  const auto head = one_based(head_);
  const auto last = one_based(last_);
  const auto next = one_based(next_);
  const auto mark = one_based(mark_);

  std::int32_t tag = mark(ek) - last(ek);
  std::int32_t i = ek;
  const std::int32_t ilpmax = last(ek);
  for (std::int32_t ilp = 1; ilp <= ilpmax; ++ilp) {
    i = link(i);
    const std::int32_t vi = v(i);
    std::int32_t dvi = 0;
    if (last(vi) < 0) {
      // --- degree by expansion of vi's list past its first entry (ek)
      ++tag;
      dvi = last(ek);
      bool outmatched = false;
      for (std::int32_t s = link(link(vi)); s != 0; s = link(s)) {
        const std::int32_t vs = v(s);
        if (next(vs) >= 0) {
          mark(vs) = tag;
          ++dvi;
        } else if (mark(vs) < 0) {
          // outmatched by the prototype of es
          last(vi) = 0;
          --mark(vs);
          for (std::int32_t t = link(s); t != 0; t = link(t)) {
            const std::int32_t es = v(t);
            if (next(es) < 0 && mark(es) < 0) --mark(es);
          }
          outmatched = true;
          break;
        } else {
          const std::int32_t es = vs;
          std::int32_t b = es;
          const std::int32_t blpmax = last(es);
          for (std::int32_t blp = 1; blp <= blpmax; ++blp) {
            b = link(b);
            const std::int32_t vb = v(b);
            if (mark(vb) < tag) {
              mark(vb) = tag;
              ++dvi;
            }
          }
        }
      }
      if (outmatched) continue;
    } else if (last(vi) > 0) {
      // --- prototype: inclusion and exclusion
      const std::int32_t evi = last(vi);
      dvi = last(ek) + last(evi) + mark(evi);
      mark(evi) = 0;
    } else {
      continue;  // duplicate
    }

    // --- insert at the front of degree list dvi
    next(vi) = head(dvi);
    head(dvi) = vi;
    last(vi) = -dvi;
    if (next(vi) > 0) last(next(vi)) = vi;
    if (dvi < dmin) dmin = dvi;
  }
}

// Minimum-degree ordering on the element (quotient-graph) model: md and its
// parts mdi, mdm, mdp, mdu.  Integers only; every value-type family uses
// these same routines.  Arrays are passed as pointers to their element 1.
#pragma once

#include <cstdint>

// md: minimum-degree ordering of the graph of the strict upper triangle of
// the compressed rows ia, ja of order n.  v and link are list storage of
// `max` words each, head has n words, mark shares v(1..n).  On success
// flag = 0, last holds the permutation p (new -> old) and next its inverse
// ip (old -> new).  flag = 9n + vi when the lists outgrow `max` while the
// entries of row vi are entered.
void md(const std::int32_t& n, const std::int32_t* ia, const std::int32_t* ja,
        const std::int32_t& max, std::int32_t* v, std::int32_t* link, std::int32_t* head,
        std::int32_t* last, std::int32_t* next, std::int32_t* mark, std::int32_t& flag);

// mdi: builds every vertex's list of neighbours and the degree lists.
void mdi(const std::int32_t& n, const std::int32_t* ia, const std::int32_t* ja,
         const std::int32_t& max, std::int32_t* v, std::int32_t* link, std::int32_t* head,
         std::int32_t* last, std::int32_t* next, std::int32_t* mark, const std::int32_t& tag,
         std::int32_t& flag);

// mdm: forms the boundary list of the new element ek = vk from vk's
// neighbours and the elements it absorbs; returns its last entry in tail.
void mdm(const std::int32_t& vk, std::int32_t& tail, std::int32_t* v, std::int32_t* link,
         std::int32_t* last, std::int32_t* next, std::int32_t* mark);

// mdp: purges the lists of the vertices of ek, eliminates interior ones at
// once (advancing k), and classifies the rest for the degree update.
void mdp(std::int32_t& k, const std::int32_t& ek, std::int32_t& tail, std::int32_t* v,
         std::int32_t* link, std::int32_t* head, std::int32_t* last, std::int32_t* next,
         std::int32_t* mark);

// mdu: recomputes the degrees of the vertices of ek and puts them back into
// the degree lists; lowers dmin when a degree falls below it.
void mdu(const std::int32_t& ek, std::int32_t& dmin, std::int32_t* v, std::int32_t* link,
         std::int32_t* head, std::int32_t* last, std::int32_t* next, std::int32_t* mark);

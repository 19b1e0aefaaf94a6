// Approximate minimum degree ordering with aggressive absorption.
//
// The quotient graph holds variables (still to be eliminated, each possibly
// standing for a supervariable of indistinguishable variables) and elements
// (cliques left by eliminated pivots). A variable's list holds its adjacent
// elements first, then its adjacent variables. Eliminating a pivot ME merges
// its adjacent elements and variables into the new element Lme; the degrees of
// the variables of Lme are then re-estimated from |Le \ Lme| of the elements
// around them (Amestoy, Davis and Duff, SIAM J. Matrix Anal. Appl. 17, 1996).
//
// Every decision below is deterministic: degree lists are last-in-first-out,
// hash buckets list their members in reverse order of insertion, and ties are
// broken by these list orders only.
#include <algorithm>
#include <cassert>
#include <cstdint>
#include <limits>

#include "ma57_analysis.h"

namespace pemric {
namespace {

constexpr int64_t kIntMax = std::numeric_limits<int32_t>::max();

class OrderCore {
 public:
  explicit OrderCore(const MC47Arrays& a)
      : n_(a.n), ladj_(a.ladj), pe_(At(a.lstart)), len_(At(a.llen)), iw_(At(a.adj)),
        nv_(At(a.svsize)), elen_(At(a.elcount)), last_(At(a.prev)), degree_(At(a.deg)),
        head_(At(a.bucket)), next_(At(a.nextv)), w_(At(a.wflags)) {}

  void Run(int64_t& freepos, int32_t& ncomp);

 private:
  void Initialise();
  void EliminateEmptyAndFillLists();
  int32_t SelectPivot();
  [[gnu::always_inline]] inline void PushDegree(int32_t i, int32_t d);
  [[gnu::always_inline]] inline void UnlinkDegree(int32_t i);
  [[gnu::noinline]] void FormElementInPlace(int32_t me);
  [[gnu::noinline]] void FormElementAtEnd(int32_t me, int32_t elenme);
  [[gnu::noinline]] void Compact(int32_t me, int32_t e, int64_t p, int64_t pj, int64_t unread_me, int64_t unread_e);
  void GuardMark();
  [[gnu::noinline]] void ScanExternalSizes();
  [[gnu::noinline]] void ScanDegreesAndHash(int32_t me);
  void MassEliminate(int32_t i, int32_t me);
  void InsertInBucket(int32_t i, int32_t h);
  [[gnu::noinline]] void DetectSupervariables();
  [[gnu::noinline]] void CompareBucket(int32_t first);
  [[gnu::noinline]] void RestoreDegreeLists(int32_t me);
  void NumberNonPivots();

  const int32_t n_;
  const int64_t ladj_;
  OneBased<int32_t> pe_, len_, iw_, nv_, elen_, last_, degree_, head_, next_, w_;

  int32_t nel_ = 0;          // variables eliminated so far
  int32_t mindeg_ = 1;       // no variable has a smaller degree than this
  int64_t wmark_ = 2;        // current mark; every live wflags entry is below it
  int64_t dmax_ = 0;         // largest element degree seen
  int64_t hashmod_ = 1;      // max(1, n - 1)
  int64_t pfree_ = 1;        // first free position of adj
  int64_t mem_ = 0;          // positions of adj in use
  int64_t maxmem_ = 0;       // peak of mem_
  int32_t ncomp_ = 0;        // compactions so far
  // The element being formed: adj(pme1_ .. pme2_); newmem_ > 0 when built at
  // the end of adj rather than in place.
  int64_t pme1_ = 0, pme2_ = -1, newmem_ = 0;
  int64_t degme_ = 0;        // size (in variables) of Lme outside the pivots
  int32_t nvpiv_ = 0;        // variables eliminated with the current pivot
};

void OrderCore::Run(int64_t& freepos, int32_t& ncomp) {
  pfree_ = freepos;
  mem_ = freepos - 1;
  maxmem_ = mem_;
  hashmod_ = std::max<int64_t>(1, n_ - 1);
  Initialise();
  EliminateEmptyAndFillLists();
  while (nel_ < n_) {
    const int32_t me = SelectPivot();
    const int32_t elenme = elen_(me);
    nvpiv_ = nv_(me);
    elen_(me) = -(nel_ + 1);
    nel_ += nvpiv_;
    nv_(me) = -nvpiv_;
    degme_ = 0;
    if (elenme == 0) {
      FormElementInPlace(me);
    } else {
      FormElementAtEnd(me, elenme);
    }
    degree_(me) = static_cast<int32_t>(degme_);
    pe_(me) = static_cast<int32_t>(pme1_);
    len_(me) = static_cast<int32_t>(pme2_ - pme1_ + 1);
    GuardMark();
    ScanExternalSizes();
    ScanDegreesAndHash(me);
    degree_(me) = static_cast<int32_t>(degme_);
    dmax_ = std::max(dmax_, degme_);
    wmark_ += dmax_;
    GuardMark();
    DetectSupervariables();
    RestoreDegreeLists(me);
  }
  NumberNonPivots();
  for (int32_t i = 1; i <= n_; ++i) {
    const int32_t k = elen_(i) < 0 ? -elen_(i) : elen_(i);
    elen_(i) = k;
    last_(k) = i;
  }
  freepos = maxmem_;
  ncomp = ncomp_;
}

void OrderCore::Initialise() {
  for (int32_t i = 1; i <= n_; ++i) {
    last_(i) = 0;
    head_(i) = 0;
    nv_(i) = 1;
    w_(i) = 1;
    elen_(i) = 0;
    degree_(i) = len_(i);
  }
}

// Rows without neighbours take the first positions, in index order; every
// other variable goes to the front of the list of its degree.
void OrderCore::EliminateEmptyAndFillLists() {
  for (int32_t i = 1; i <= n_; ++i) {
    if (degree_(i) < 1) {
      ++nel_;
      elen_(i) = -nel_;
      pe_(i) = 0;
      w_(i) = 0;
    } else {
      PushDegree(i, degree_(i));
    }
  }
}

void OrderCore::PushDegree(int32_t i, int32_t d) {
  const int32_t inext = head_(d);
  if (inext != 0) last_(inext) = i;
  next_(i) = inext;
  last_(i) = 0;
  head_(d) = i;
}

void OrderCore::UnlinkDegree(int32_t i) {
  const int32_t ilast = last_(i);
  const int32_t inext = next_(i);
  if (inext != 0) last_(inext) = ilast;
  if (ilast != 0) {
    next_(ilast) = inext;
  } else {
    head_(degree_(i)) = inext;
  }
}

int32_t OrderCore::SelectPivot() {
  int32_t d = mindeg_;
  while (d < n_ && head_(d) <= 0) ++d;
  mindeg_ = d;
  const int32_t me = head_(d);
  assert(me > 0);
  const int32_t inext = next_(me);
  if (inext != 0) last_(inext) = 0;
  head_(d) = inext;
  return me;
}

// The pivot has no adjacent elements: Lme is its own list, compacted to the
// principal variables.
void OrderCore::FormElementInPlace(int32_t me) {
  const OneBased<int32_t> iw = iw_, nv = nv_;
  pme1_ = pe_(me);
  int64_t pme2 = pme1_ - 1;
  int64_t degme = 0;
  const int64_t end = pme1_ + len_(me);
  for (int64_t p = pme1_; p < end; ++p) {
    const int32_t i = iw(p);
    const int32_t nvi = nv(i);
    if (nvi <= 0) continue;
    degme += nvi;
    nv(i) = -nvi;
    iw(++pme2) = i;
    UnlinkDegree(i);
  }
  pme2_ = pme2;
  degme_ = degme;
  newmem_ = 0;
}

// Lme is the union of the variables of the pivot's elements (each then
// absorbed into ME) and of its own variables, built at the end of adj.
void OrderCore::FormElementAtEnd(int32_t me, int32_t elenme) {
  const OneBased<int32_t> iw = iw_, nv = nv_;
  int64_t p = pe_(me);
  pme1_ = pfree_;
  int64_t pfree = pfree_;
  int64_t degme = 0;
  const int64_t slenme = len_(me) - elenme;
  for (int32_t knt1 = 1; knt1 <= elenme + 1; ++knt1) {
    int32_t e;
    int64_t pj, ln;
    if (knt1 > elenme) {
      e = me;
      pj = p;
      ln = slenme;
    } else {
      e = iw(p++);
      pj = pe_(e);
      ln = pj > 0 ? len_(e) : 0;
    }
    for (int64_t knt2 = 1; knt2 <= ln; ++knt2) {
      const int32_t i = iw(pj++);
      const int32_t nvi = nv(i);
      if (nvi <= 0) continue;
      if (pfree > ladj_) {
        // Unread remainders: of the pivot's list (elements after e and its
        // variables, or the rest of its variables) and of e's list.
        const int64_t unread_me = knt1 > elenme ? ln - knt2 : (elenme - knt1) + slenme;
        pfree_ = pfree;
        Compact(me, e, knt1 > elenme ? pj : p, pj, unread_me, ln - knt2);
        pfree = pfree_;
        pj = pe_(e);
        p = pe_(me);
      }
      degme += nvi;
      nv(i) = -nvi;
      iw(pfree++) = i;
      UnlinkDegree(i);
    }
    if (e != me) {
      pe_(e) = -me;
      w_(e) = 0;
    }
  }
  pfree_ = pfree;
  degme_ = degme;
  pme2_ = pfree - 1;
  newmem_ = pfree - pme1_;
  mem_ += newmem_;
  maxmem_ = std::max(maxmem_, mem_);
}

// In-place compaction of adj. Each live list's first word is parked in its
// start and replaced by -j, so a left-to-right sweep can recognise list heads
// among stale words (all other words are positive):
//   before  [ 7 | 3 9 | x x | -2 ... ]   lists of 5 (at 1) and 8 (at 2)
//   marks   [-5 | -8 9 | x x | ... ]     pe(5) = 7, pe(8) = 3
//   after   [ 7 | 3 9 | Lme... ]        pe(5) = 1, pe(8) = 2
void OrderCore::Compact(int32_t me, int32_t e, int64_t p, int64_t pj, int64_t unread_me,
                        int64_t unread_e) {
  pe_(me) = unread_me > 0 ? static_cast<int32_t>(p) : 0;
  len_(me) = static_cast<int32_t>(unread_me);
  if (e != me) {
    pe_(e) = unread_e > 0 ? static_cast<int32_t>(pj) : 0;
    len_(e) = static_cast<int32_t>(unread_e);
  }
  ++ncomp_;
  for (int32_t j = 1; j <= n_; ++j) {
    const int32_t pn = pe_(j);
    if (pn <= 0) continue;
    pe_(j) = iw_(pn);
    iw_(pn) = -j;
  }
  int64_t psrc = 1, pdst = 1;
  const int64_t pend = pme1_ - 1;
  while (psrc <= pend) {
    const int32_t j = -iw_(psrc++);
    if (j <= 0) continue;
    iw_(pdst) = pe_(j);
    pe_(j) = static_cast<int32_t>(pdst++);
    const int64_t rest = len_(j) - 1;
    for (int64_t t = 0; t < rest; ++t) iw_(pdst + t) = iw_(psrc + t);
    pdst += rest;
    psrc += rest;
  }
  const int64_t newstart = pdst;
  for (psrc = pme1_; psrc < pfree_; ++psrc) iw_(pdst++) = iw_(psrc);
  pme1_ = newstart;
  pfree_ = pdst;
  assert(pfree_ <= ladj_);
}

// Marks stay valid through wmark alone; before it could pass the 32-bit
// range every live mark is reset.
void OrderCore::GuardMark() {
  if (wmark_ + n_ <= kIntMax) return;
  for (int32_t x = 1; x <= n_; ++x) {
    if (w_(x) != 0) w_(x) = 1;
  }
  wmark_ = 2;
}

// After this scan, w(e) - wmark = |Le \ Lme| for every live element e
// adjacent to a variable of Lme.
void OrderCore::ScanExternalSizes() {
  const OneBased<int32_t> iw = iw_, w = w_, pe = pe_, elen = elen_, nv = nv_, degree = degree_;
  const int64_t wmark = wmark_;
  for (int64_t pme = pme1_; pme <= pme2_; ++pme) {
    const int32_t i = iw(pme);
    const int32_t eln = elen(i);
    if (eln <= 0) continue;
    const int32_t nvi = -nv(i);
    const int32_t* const list = iw.from(pe(i));
    for (int32_t t = 0; t < eln; ++t) {
      const int32_t e = list[t];
      const int64_t we = w(e);
      if (we >= wmark) {
        w(e) = static_cast<int32_t>(we - nvi);
      } else if (we != 0) {
        w(e) = static_cast<int32_t>(degree(e) + wmark - nvi);
      }
    }
  }
}

// New approximate degrees, element absorption, mass elimination and the
// hash of each variable's list for the supervariable test. Each list is
// compacted in place to its live elements and principal variables.
void OrderCore::ScanDegreesAndHash(int32_t me) {
  const OneBased<int32_t> iw = iw_, pe = pe_, elen = elen_, len = len_, nv = nv_, w = w_;
  const int64_t wmark = wmark_;
  for (int64_t pme = pme1_; pme <= pme2_; ++pme) {
    const int32_t i = iw(pme);
    int32_t* const list = iw.from(pe(i));
    const int32_t* q = list;
    const int32_t* const elements_end = list + elen(i);
    const int32_t* const end = list + len(i);
    int32_t* out = list;  // the kept entries are compacted to the front
    uint64_t hash = 0;
    int64_t deg = 0;
    for (; q != elements_end; ++q) {
      const int32_t e = *q;
      const int64_t dext = w(e) - wmark;
      if (dext > 0) {
        deg += dext;
        *out++ = e;
        hash += static_cast<uint64_t>(e);
      } else if (dext == 0) {
        pe(e) = -me;  // aggressive absorption: Le lies inside Lme
        w(e) = 0;
      }
    }
    int32_t* const first_variable = out;
    for (; q != end; ++q) {
      const int32_t j = *q;
      const int32_t nvj = nv(j);
      if (nvj <= 0) continue;
      deg += nvj;
      *out++ = j;
      hash += static_cast<uint64_t>(j);
    }
    if (deg == 0) {
      MassEliminate(i, me);
      continue;
    }
    elen(i) = static_cast<int32_t>(first_variable - list) + 1;
    degree_(i) = static_cast<int32_t>(std::min<int64_t>(degree_(i), deg));
    assert(out < end);
    // ME goes first: the first element moves to the first variable slot and
    // that variable to the end.
    *out = *first_variable;
    *first_variable = *list;
    *list = me;
    len(i) = static_cast<int32_t>(out - list) + 1;
    InsertInBucket(i, static_cast<int32_t>(hash % static_cast<uint64_t>(hashmod_)) + 1);
  }
}

// Variable i has no neighbour outside Lme: it is eliminated with the pivot.
void OrderCore::MassEliminate(int32_t i, int32_t me) {
  pe_(i) = -me;
  const int32_t nvi = -nv_(i);
  degme_ -= nvi;
  nvpiv_ += nvi;
  nel_ += nvi;
  nv_(i) = 0;
  elen_(i) = 0;
}

// Puts i at the front of hash bucket h, which either heads a chain of its
// own (head(h) = -first) or hangs off the degree list head j = head(h).
void OrderCore::InsertInBucket(int32_t i, int32_t h) {
  const int32_t j = head_(h);
  if (j <= 0) {
    next_(i) = -j;
    head_(h) = -i;
  } else {
    next_(i) = last_(j);
    last_(j) = i;
  }
  last_(i) = h;
}

// Variables of Lme with the same hash are compared list against list; a
// match merges into the earlier member of the bucket.
void OrderCore::DetectSupervariables() {
  const OneBased<int32_t> iw = iw_, nv = nv_, last = last_, head = head_, next = next_;
  for (int64_t pme = pme1_; pme <= pme2_; ++pme) {
    const int32_t i = iw(pme);
    if (nv(i) >= 0) continue;
    const int32_t h = last(i);
    const int32_t j = head(h);
    int32_t first;
    if (j == 0) continue;
    if (j < 0) {
      first = -j;
      head(h) = 0;
    } else {
      first = last(j);
      last(j) = 0;
    }
    // A bucket of one member has nothing to compare.
    if (first != 0 && next(first) != 0) CompareBucket(first);
  }
}

void OrderCore::CompareBucket(int32_t first) {
  const OneBased<int32_t> iw = iw_, pe = pe_, len = len_, elen = elen_, nv = nv_, next = next_,
                          w = w_;
  int64_t wmark = wmark_;
  for (int32_t i = first; i != 0 && next(i) != 0; i = next(i)) {
    const int32_t ln = len(i);
    const int32_t eln = elen(i);
    const int64_t pi = pe(i);
    const int32_t mark = static_cast<int32_t>(wmark);
    for (int64_t p = pi + 1; p < pi + ln; ++p) w(iw(p)) = mark;
    int32_t jlast = i;
    int32_t j = next(i);
    while (j != 0) {
      bool same = len(j) == ln && elen(j) == eln;
      const int64_t pj = pe(j);
      for (int64_t p = pj + 1; same && p < pj + ln; ++p) same = w(iw(p)) == mark;
      if (same) {
        pe(j) = -i;
        nv(i) += nv(j);
        nv(j) = 0;
        elen(j) = 0;
        j = next(j);
        next(jlast) = j;
      } else {
        jlast = j;
        j = next(j);
      }
    }
    ++wmark;
  }
  wmark_ = wmark;
}

void OrderCore::RestoreDegreeLists(int32_t me) {
  const OneBased<int32_t> iw = iw_, nv = nv_, degree = degree_;
  int64_t p = pme1_;
  const int64_t nleft = n_ - nel_;
  const int64_t degme = degme_;
  int32_t mindeg = mindeg_;
  for (int64_t pme = pme1_; pme <= pme2_; ++pme) {
    const int32_t i = iw(pme);
    const int32_t nvi = -nv(i);
    if (nvi <= 0) continue;
    nv(i) = nvi;
    int64_t d = std::min<int64_t>(degree(i) + degme - nvi, nleft - nvi);
    d = std::max<int64_t>(d, 1);  // a live variable keeps a valid list index
    PushDegree(i, static_cast<int32_t>(d));
    mindeg = std::min<int32_t>(mindeg, static_cast<int32_t>(d));
    degree(i) = static_cast<int32_t>(d);
    iw(p++) = i;
  }
  mindeg_ = mindeg;
  nv_(me) = static_cast<int32_t>(nvpiv_ + degme_);
  len_(me) = static_cast<int32_t>(p - pme1_);
  if (len_(me) == 0) {
    pe_(me) = 0;
    w_(me) = 0;
  }
  if (newmem_ != 0) {
    pfree_ = p;
    mem_ = mem_ - newmem_ + len_(me);
  }
}

// Variables merged into a supervariable or eliminated along with a pivot
// take the positions reserved for that pivot, the pivot itself last:
//   pivot E at positions 4..6 with members a, b  ->  a = 4, b = 5, E = 6.
void OrderCore::NumberNonPivots() {
  for (int32_t i = 1; i <= n_; ++i) {
    if (elen_(i) != 0) continue;
    int32_t j = -pe_(i);
    while (elen_(j) >= 0) j = -pe_(j);
    const int32_t e = j;
    int32_t k = -elen_(e);
    j = i;
    while (elen_(j) >= 0) {
      const int32_t jnext = -pe_(j);
      pe_(j) = -e;
      if (elen_(j) == 0) elen_(j) = k++;
      j = jnext;
    }
    elen_(e) = -k;
  }
}

}  // namespace

void MC47OrderCore(const MC47Arrays& a, int64_t& freepos, int32_t& ncomp) {
  OrderCore core(a);
  core.Run(freepos, ncomp);
}

}  // namespace pemric

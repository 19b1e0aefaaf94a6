// The problem as set-up reads it from the ESO: sizes, names, start values,
// bounds and the Jacobian pattern in column form, with the point, residual
// and Jacobian arrays that the least-squares routine reads and writes.
#pragma once

#include <cstdint>

#include "message_formatter.h"
#include "solver_settings.h"
#include "tracked_array.h"
#include "vorn/host_interfaces.h"

namespace dalvex {

// Texts received from the host, each freed with VornServices::FreeString
// when the list is refilled or goes.
class HostTextList {
 public:
  HostTextList() noexcept = default;
  ~HostTextList() { Clear(); }
  HostTextList(const HostTextList&) = delete;
  HostTextList& operator=(const HostTextList&) = delete;

  // Frees the texts held, then makes room for `count` null texts. False,
  // with the list empty, when the heap is exhausted.
  bool Allocate(int32_t count) noexcept;
  // Frees every text and the list itself.
  void Clear() noexcept;

  char** data() { return m_Texts; }
  int32_t count() const { return m_Count; }
  // Text `index` (from 0); null when absent or beyond the list.
  const char* at(int32_t index) const { return index < m_Count ? m_Texts[index] : nullptr; }

 private:
  char** m_Texts = nullptr;  // null, or m_Count host texts (entries may be null) and a spare
  int32_t m_Count = 0;
};

// Everything set-up reads of the problem, owned here: every array is freed
// when set-up replaces it and when the image goes. Read freely; written by
// SetUp and, between the routine's calls, by the ESO and the routine.
struct ProblemImage {
  // Set-up after the parameters: the sizes, the arrays, names, start values
  // and bounds, the Jacobian pattern compressed to column form, and the
  // empty extra matrix. Returns 0, an ESO status or kVornFailure. A failed
  // set-up keeps what it allocated; the next one replaces it.
  int32_t SetUp(VornNumericESO& eso, const SolverSettings& settings, MessageFormatter& formatter);

  int32_t m_NEqs = 0;
  int32_t m_NVars = 0;
  int32_t m_NNz = 0;                     // Jacobian entries
  TrackedArray<double> m_X;              // current variable values (NVars)
  TrackedArray<double> m_Xold;           // values of the previous Solve call (NVars)
  TrackedArray<double> m_Resid;          // residuals (NEqs)
  TrackedArray<int32_t> m_irnJac;        // rows, column by column after compression (NNz)
  TrackedArray<int32_t> m_jcnJac;        // columns in the ESO's order (NNz)
  TrackedArray<int32_t> m_ipJac;         // column starts from 1 (max(NEqs, NVars) + 1)
  TrackedArray<double> m_valJac;         // Jacobian values in column order (NNz)
  TrackedArray<int32_t> m_typJac;        // the ESO's entry types, unused (NNz)
  TrackedArray<int32_t> m_ipJacDummy;    // empty extra matrix: NVars + 1 ones
  TrackedArray<int32_t> m_irnJacDummy;   // one entry, 1
  TrackedArray<double> m_valJacDummy;    // one entry, 0.0
  HostTextList m_EquationNames;          // NEqs names from the ESO
  HostTextList m_VariableNames;          // NVars names from the ESO
  TrackedArray<double> m_LowerBounds;    // NVars, reported only
  TrackedArray<double> m_UpperBounds;    // NVars, reported only
};

}  // namespace dalvex

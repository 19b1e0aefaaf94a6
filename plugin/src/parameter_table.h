// The factory's table of named solver parameters.
#pragma once

#include <cstdint>

#include "dalvex/parameters.h"
#include "vorn/host_interfaces.h"

namespace dalvex {

// One table entry has the layout of the ParameterInfo record the host
// receives. In the table, name and description point to constant texts of the
// plug-in; the two texts of a text-type entry are owned by the table.
using ParameterRecord = VornParameterInfo;

// Records in registration order. Storage holds m_Capacity records, of which
// the first m_Count are in use; a full table grows by 10 records.
class ParameterTable {
 public:
  static constexpr int32_t kInitialCapacity = 10;
  static constexpr int32_t kGrowth = 10;

  ParameterTable() noexcept = default;
  ~ParameterTable();
  ParameterTable(const ParameterTable&) = delete;
  ParameterTable& operator=(const ParameterTable&) = delete;

  // Allocates the initial storage. False when the heap is exhausted.
  bool Initialise() noexcept;
  // Appends a copy of `record` (a text-type record's texts are copied).
  // False when the heap is exhausted; the table is then unchanged.
  bool Append(const ParameterRecord& record) noexcept;
  // Appends the solver parameters of kSolverParameters, in their order.
  bool RegisterSolverParameters() noexcept;

  // The first record, in table order, whose name matches case-insensitively;
  // null when none does or `name` is null.
  ParameterRecord* Find(const char* name) noexcept;

  // Replaces a text-type record's value by a copy of `text`. False when the
  // heap is exhausted; the old value then stays.
  static bool ReplaceText(ParameterRecord& record, const char* text) noexcept;

  int32_t count() const { return m_Count; }
  int32_t capacity() const { return m_Capacity; }
  const ParameterRecord& at(int32_t index) const { return m_Entries[index]; }

 private:
  int32_t m_Count = 0;                      // records in use
  int32_t m_Capacity = kInitialCapacity;    // records the storage holds
  ParameterRecord* m_Entries = nullptr;     // null or m_Capacity records
};

}  // namespace dalvex

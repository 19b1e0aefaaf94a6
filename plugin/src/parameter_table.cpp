#include "parameter_table.h"

#include <cstdlib>
#include <cstring>

#include "host_text.h"

namespace dalvex {

namespace {

// A table-owned copy of a text (null stays null).
char* CopyOwned(const char* text) {
  if (text == nullptr) return nullptr;
  const std::size_t bytes = std::strlen(text) + 1;
  char* copy = static_cast<char*>(std::malloc(bytes));
  if (copy != nullptr) std::memcpy(copy, text, bytes);
  return copy;
}

ParameterRecord* AllocateRecords(int32_t n) {
  return static_cast<ParameterRecord*>(std::calloc(static_cast<std::size_t>(n), sizeof(ParameterRecord)));
}

ParameterRecord MakeRecord(const ParameterDefinition& d) {
  ParameterRecord r{};
  r.name = const_cast<char*>(d.name);
  r.description = const_cast<char*>(d.description);
  r.type = d.type;
  if (d.type == kVornInteger) {
    r.values.integer.lower = static_cast<int32_t>(d.lower);
    r.values.integer.upper = static_cast<int32_t>(d.upper);
    r.values.integer.value = static_cast<int32_t>(d.value);
  } else {
    r.values.real.lower = d.lower;
    r.values.real.upper = d.upper;
    r.values.real.value = d.value;
  }
  return r;
}

}  // namespace

ParameterTable::~ParameterTable() {
  for (int32_t k = 0; k < m_Count; ++k) {
    if (m_Entries[k].type == kVornText) {
      std::free(m_Entries[k].values.text.value);
      std::free(m_Entries[k].values.text.second);
    }
  }
  std::free(m_Entries);
}

bool ParameterTable::Initialise() noexcept {
  if (m_Entries == nullptr) m_Entries = AllocateRecords(m_Capacity);
  return m_Entries != nullptr;
}

bool ParameterTable::Append(const ParameterRecord& record) noexcept {
  if (!Initialise()) return false;
  ParameterRecord entry = record;
  if (record.type == kVornText) {
    entry.values.text.value = CopyOwned(record.values.text.value);
    entry.values.text.second = CopyOwned(record.values.text.second);
    if ((record.values.text.value != nullptr && entry.values.text.value == nullptr) ||
        (record.values.text.second != nullptr && entry.values.text.second == nullptr)) {
      std::free(entry.values.text.value);
      std::free(entry.values.text.second);
      return false;
    }
  }
  if (m_Count == m_Capacity) {
    ParameterRecord* grown = AllocateRecords(m_Capacity + kGrowth);
    if (grown == nullptr) {
      if (entry.type == kVornText) {
        std::free(entry.values.text.value);
        std::free(entry.values.text.second);
      }
      return false;
    }
    std::memcpy(grown, m_Entries, static_cast<std::size_t>(m_Count) * sizeof(ParameterRecord));
    std::free(m_Entries);
    m_Entries = grown;
    m_Capacity += kGrowth;
  }
  m_Entries[m_Count++] = entry;
  return true;
}

bool ParameterTable::RegisterSolverParameters() noexcept {
  for (const ParameterDefinition& d : kSolverParameters) {
    if (!Append(MakeRecord(d))) return false;
  }
  return true;
}

ParameterRecord* ParameterTable::Find(const char* name) noexcept {
  for (int32_t k = 0; k < m_Count; ++k) {
    if (SameNameIgnoringCase(m_Entries[k].name, name)) return &m_Entries[k];
  }
  return nullptr;
}

bool ParameterTable::ReplaceText(ParameterRecord& record, const char* text) noexcept {
  char* copy = CopyOwned(text);
  if (text != nullptr && copy == nullptr) return false;
  std::free(record.values.text.value);
  record.values.text.value = copy;
  return true;
}

}  // namespace dalvex

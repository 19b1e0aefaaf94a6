// Texts that cross the boundary to the host.
#pragma once

namespace dalvex {

// A host-owned copy of `text` made with VornServices::AllocateString (length
// plus one bytes); a null text gives a one-byte buffer holding only the
// terminator. Null when the host cannot allocate. The host frees the copy.
char* CopyForHost(const char* text) noexcept;

// Case-insensitive (ASCII) equality of two texts; false when either is null.
bool SameNameIgnoringCase(const char* a, const char* b) noexcept;

}  // namespace dalvex

// Compiled with -m32 -fsyntax-only: the host interface declarations as a
// 32-bit build sees them, with the parameter record at its 40-byte layout.
#include <cstddef>

#include "vorn/host_interfaces.h"
#include "vorn/services.h"

static_assert(sizeof(void*) == 4, "a 32-bit compile");
static_assert(offsetof(VornParameterInfo, name) == 0, "name at 0");
static_assert(offsetof(VornParameterInfo, description) == 4, "description at 4");
static_assert(offsetof(VornParameterInfo, type) == 8, "type at 8");
static_assert(offsetof(VornParameterInfo, values) == 16, "values at 16");
static_assert(offsetof(VornParameterInfo, values.real.upper) == 24, "real upper at 24");
static_assert(offsetof(VornParameterInfo, values.real.value) == 32, "real value at 32");
static_assert(offsetof(VornParameterInfo, values.text.second) == 20, "second text at 20");
static_assert(sizeof(VornParameterInfo) == 40, "40 bytes");
static_assert(sizeof(VornValueCell) == 8, "8-byte cell");

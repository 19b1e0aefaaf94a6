// Where dalvex-run looks for the plug-in when --module does not say.
#pragma once

#include <string>

namespace dalvex_run {

// The installed plug-in, at its place relative to this program's folder
// (DALVEX_INSTALLED_MODULE) when it is there; otherwise the plug-in of the
// build tree this program was built in (DALVEX_MODULE_PATH).
std::string DefaultModulePath();

}  // namespace dalvex_run

// Where dalvex-run looks for the plug-in when --module does not say.
#pragma once

#include <string>

namespace dalvex_run {

// Run from the folder it was built in, the plug-in of that build tree
// (DALVEX_MODULE_PATH); run from anywhere else, the installed plug-in at its
// place relative to this program's folder (DALVEX_INSTALLED_MODULE).
std::string DefaultModulePath();

}  // namespace dalvex_run

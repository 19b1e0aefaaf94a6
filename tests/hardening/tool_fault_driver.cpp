// dalvex-run with its heap allocations numbered (allocation_hook.h): its own
// main, renamed, runs armed, so that everything the tool does from parsing
// its command line to its summary counts, and nothing of the process's
// start or end. DALVEX_FAIL_AT=k fails the k-th allocation; the count made
// goes to standard error as "allocations: N".
#include <cstdio>
#include <cstdlib>

#include "allocation_hook.h"
#include "module_path.h"

int dalvex_run_main(int argc, char** argv);

// The module of this build.
std::string dalvex_run::DefaultModulePath() { return DALVEX_MODULE_PATH; }

int main(int argc, char** argv) {
  const char* fail_at = std::getenv("DALVEX_FAIL_AT");
  alloc_hook::Arm(fail_at != nullptr ? std::strtoull(fail_at, nullptr, 10) : 0);
  const int status = dalvex_run_main(argc, argv);
  alloc_hook::Disarm();
  std::fprintf(stderr, "allocations: %llu\n", static_cast<unsigned long long>(alloc_hook::Allocations()));
  return status;
}

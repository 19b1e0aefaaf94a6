# One warning list for all of our own code, and the numeric routines' optimization.
add_library(dalvex_warnings INTERFACE)
target_compile_options(dalvex_warnings INTERFACE
  $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Werror -Wcast-qual -Wnon-virtual-dtor -Wvla>
  $<$<COMPILE_LANGUAGE:C>:-Wall -Wextra -Werror>)

# The numeric routines at -O3 in optimized builds: at -O2, GCC vectorizes
# almost none of the factorization's loops (assembly, eliminations inside a
# block, stacking, the solves). The loops it vectorizes are elementwise, with
# no reassociation and, on the baseline x86 instruction sets, no fused
# multiply-add, so every result stays bitwise that of -O2.
add_library(dalvex_numeric_optimization INTERFACE)
target_compile_options(dalvex_numeric_optimization INTERFACE
  $<$<AND:$<COMPILE_LANGUAGE:CXX>,$<CONFIG:Release,RelWithDebInfo>>:-O3>)

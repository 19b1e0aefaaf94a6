# One warning list for all of our own code.
add_library(dalvex_warnings INTERFACE)
target_compile_options(dalvex_warnings INTERFACE
  $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Werror -Wcast-qual -Wnon-virtual-dtor -Wvla>
  $<$<COMPILE_LANGUAGE:C>:-Wall -Wextra -Werror>)

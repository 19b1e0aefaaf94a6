# Dense kernels. The declarations live in numeric_common/include/pemric/blas.h
# with the Fortran calling convention.
#
# The numeric routines call a BLAS of their own: a copy of Debian's one-thread
# OpenBLAS (libopenblas-serial-dev), partially linked into one object with the
# four entry points of numeric_common/src/private_blas.c as its only global
# symbols. It cannot meet the process's BLAS (nothing of it is visible), so the
# factorization runs one-thread kernels on its own threads, in a decomposition
# that does not depend on their number, and never touches the thread setting of
# a BLAS that the host uses. Results then depend neither on the thread count
# nor on what else runs in the process.
#
# Without that archive, or in a cross build that names its BLAS in
# DALVEX_BLAS_LIBRARIES (scripts/build-windows.sh), the routines call the
# ordinary BLAS names. The factorization then uses threads only if the build
# says that BLAS is one-thread and reentrant (DALVEX_BLAS_REENTRANT, as the
# reference BLAS is); otherwise it keeps to the calling thread.
set(DALVEX_BLAS_LIBRARIES "" CACHE STRING "BLAS to link instead of the system one (cross builds)")
option(DALVEX_BLAS_REENTRANT "The BLAS linked runs on the calling thread alone and may be called from several threads at once" OFF)
option(DALVEX_PRIVATE_BLAS "Link a private copy of the one-thread OpenBLAS when its archive is installed" ON)
add_library(dalvex_blas INTERFACE)
set(DALVEX_PRIVATE_BLAS_OBJECT "")
# 64-bit Linux only: the private allocator reserves large buffers, which a
# 32-bit address space cannot spare for every thread.
if(NOT DALVEX_BLAS_LIBRARIES AND DALVEX_PRIVATE_BLAS AND NOT WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  find_file(DALVEX_SERIAL_OPENBLAS_ARCHIVE libopenblas.a
            PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/openblas-serial NO_DEFAULT_PATH)
  find_program(DALVEX_OBJCOPY NAMES objcopy)
endif()
if(DALVEX_BLAS_LIBRARIES)
  target_link_libraries(dalvex_blas INTERFACE ${DALVEX_BLAS_LIBRARIES})
  if(DALVEX_BLAS_REENTRANT)
    target_compile_definitions(dalvex_blas INTERFACE PEMRIC_BLAS_REENTRANT=1)
  endif()
elseif(DALVEX_SERIAL_OPENBLAS_ARCHIVE AND DALVEX_OBJCOPY)
  # The entry points are compiled like the other sources (word size,
  # sanitizers); then one relocatable link pulls what they need from the
  # archive, and objcopy makes every other symbol local and drops the debug
  # information (about 25 MB of kernels for every x86 processor remain).
  add_library(dalvex_private_blas_entry OBJECT ${CMAKE_CURRENT_SOURCE_DIR}/numeric_common/src/private_blas.c)
  set(DALVEX_PRIVATE_BLAS_OBJECT ${CMAKE_BINARY_DIR}/private_blas/pemric_private_blas.o)
  set(_entries ${CMAKE_BINARY_DIR}/private_blas/entries.txt)
  file(WRITE ${_entries} "pemric_dgemm\npemric_dgemv\npemric_dtpsv\npemric_ddot\n")
  separate_arguments(_flags UNIX_COMMAND "${CMAKE_C_FLAGS}")
  # The archive's buffer allocator (in its member memory.o) is renamed away,
  # so that the one in private_blas.c serves every call.
  set(_dir ${CMAKE_BINARY_DIR}/private_blas)
  add_custom_command(
    OUTPUT ${DALVEX_PRIVATE_BLAS_OBJECT}
    COMMAND ${CMAKE_AR} x ${DALVEX_SERIAL_OPENBLAS_ARCHIVE} memory.o
    COMMAND ${DALVEX_OBJCOPY}
            --redefine-sym blas_memory_alloc=openblas_unused_memory_alloc
            --redefine-sym blas_memory_free=openblas_unused_memory_free
            --redefine-sym blas_memory_alloc_nolock=openblas_unused_memory_alloc_nolock
            --redefine-sym blas_memory_free_nolock=openblas_unused_memory_free_nolock
            memory.o memory_renamed.o
    COMMAND ${CMAKE_C_COMPILER} ${_flags} -nostdlib -r -o ${DALVEX_PRIVATE_BLAS_OBJECT}.full
            $<TARGET_OBJECTS:dalvex_private_blas_entry> memory_renamed.o
            ${DALVEX_SERIAL_OPENBLAS_ARCHIVE}
    COMMAND ${DALVEX_OBJCOPY} --strip-debug --keep-global-symbols=${_entries}
            ${DALVEX_PRIVATE_BLAS_OBJECT}.full ${DALVEX_PRIVATE_BLAS_OBJECT}
    COMMAND ${CMAKE_COMMAND} -E remove ${DALVEX_PRIVATE_BLAS_OBJECT}.full memory.o memory_renamed.o
    WORKING_DIRECTORY ${_dir}
    DEPENDS dalvex_private_blas_entry $<TARGET_OBJECTS:dalvex_private_blas_entry>
            ${DALVEX_SERIAL_OPENBLAS_ARCHIVE}
    COMMENT "Private one-thread OpenBLAS"
    VERBATIM COMMAND_EXPAND_LISTS)
  add_custom_target(dalvex_private_blas DEPENDS ${DALVEX_PRIVATE_BLAS_OBJECT})
  find_package(Threads REQUIRED)
  target_compile_definitions(dalvex_blas INTERFACE PEMRIC_PRIVATE_BLAS=1 PEMRIC_BLAS_REENTRANT=1)
  target_link_libraries(dalvex_blas INTERFACE Threads::Threads m)
  message(STATUS "BLAS: private copy of ${DALVEX_SERIAL_OPENBLAS_ARCHIVE}")
else()
  set(BLA_VENDOR OpenBLAS CACHE STRING "BLAS vendor")
  find_package(BLAS REQUIRED)
  target_link_libraries(dalvex_blas INTERFACE ${BLAS_LIBRARIES})
  message(STATUS "BLAS: ${BLAS_LIBRARIES} (no serial OpenBLAS archive: the factorization keeps to one thread)")
endif()

# Reference BLAS, when installed, lets the tests check that results do not depend
# on the BLAS implementation.
find_library(DALVEX_REFERENCE_BLAS NAMES libblas.so.3 blas
             PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/blas NO_DEFAULT_PATH)

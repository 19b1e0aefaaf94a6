# The Microsoft names of vorn_services_msvc.def must be exactly those that a
# compiler for the Microsoft ABI gives the declarations of vorn/services.h,
# and, given a stand-in services DLL, exactly the names it exports.
#   cmake -DCLANG=clang++ -DSOURCE=msvc_names.cpp -DINCLUDE=<vorn headers' folder>
#         -DMAP=vorn_services_msvc.def [-DDLL=vorn_services.dll -DOBJDUMP=objdump]
#         -P check_msvc_names.cmake
# Writes the C++ headers the declarations need (as thin wrappers of the
# compiler's own C headers) into the working folder.
file(WRITE shim/cstdint "#include <stdint.h>\n")
file(WRITE shim/cstddef "#include <stddef.h>\n")
execute_process(
  COMMAND ${CLANG} --target=i686-pc-windows-msvc -std=c++17 -ffreestanding -nostdinc++
          -Ishim -I${INCLUDE} -DVORN_SERVICES_DEF_EXPORTS -S -o - ${SOURCE}
  OUTPUT_VARIABLE assembly ERROR_VARIABLE errors RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${CLANG} failed:\n${errors}")
endif()
string(REGEX MATCHALL "\\.globl\t\"\\?[^\"]+" compiled "${assembly}")
list(TRANSFORM compiled REPLACE "^\\.globl\t\"" "")
list(SORT compiled)

file(STRINGS ${MAP} pairs REGEX "^[ \t]*[^; \t].*==")
list(TRANSFORM pairs REPLACE "^.*==[ \t]*([^ \t]+).*$" "\\1")
list(SORT pairs)
if(NOT compiled STREQUAL pairs OR compiled STREQUAL "")
  message(FATAL_ERROR "the declarations give\n  ${compiled}\nthe map lists\n  ${pairs}")
endif()

if(DLL)
  execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE table RESULT_VARIABLE rc)
  string(REGEX REPLACE "^.*\\[Ordinal/Name Pointer\\] Table" "" table "${table}")
  string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [^\n]+" exported "${table}")
  list(TRANSFORM exported REPLACE "^\t\\[ *[0-9]+\\] " "")
  list(SORT exported)
  if(NOT rc EQUAL 0 OR NOT exported STREQUAL pairs)
    message(FATAL_ERROR "${DLL} exports\n  ${exported}\nthe map lists\n  ${pairs}")
  endif()
endif()
message(STATUS "Microsoft names: ${compiled}")

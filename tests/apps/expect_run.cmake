# Runs one command and checks its exit status and output, for the tests that
# need a particular status (CTest alone tells only zero from non-zero):
#   cmake -DEXPECT=<status> [-DMATCH=<regex>] [-DREJECT=<regex>] [-DSHOW=<file>]
#         [-DKEEP=<file>] -P expect_run.cmake <program> <arguments>...
# MATCH must and REJECT must not match standard output, then standard error,
# then the file SHOW (if given), joined by new lines; the file KEEP is made
# before the run and must hold what it held after it.  LIMIT-style prefixes
# (prlimit, an emulator) are simply part of the command.
set(command)
set(take OFF)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE ${last})
  if(take)
    list(APPEND command "${CMAKE_ARGV${i}}")
  elseif(CMAKE_ARGV${i} MATCHES "expect_run\\.cmake$")
    set(take ON)
  endif()
endforeach()

if(DEFINED KEEP)
  file(WRITE "${KEEP}" "precious\n")
endif()
execute_process(COMMAND ${command} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
# Text-mode streams on Windows end lines with CR LF; files are checked as written.
set(text "${out}\n${err}")
string(REPLACE "\r\n" "\n" text "${text}")
if(DEFINED SHOW AND EXISTS "${SHOW}")
  file(READ "${SHOW}" shown)
  string(APPEND text "\n${shown}")
endif()
message("${text}")

if(NOT "${status}" STREQUAL "${EXPECT}")
  message(FATAL_ERROR "exit status ${status}, expected ${EXPECT}")
endif()
if(DEFINED MATCH AND NOT text MATCHES "${MATCH}")
  message(FATAL_ERROR "output does not match: ${MATCH}")
endif()
if(DEFINED REJECT AND text MATCHES "${REJECT}")
  message(FATAL_ERROR "output matches what it must not: ${REJECT}")
endif()
if(DEFINED KEEP)
  file(READ "${KEEP}" kept)
  if(NOT kept STREQUAL "precious\n")
    message(FATAL_ERROR "${KEEP} was changed: '${kept}'")
  endif()
endif()

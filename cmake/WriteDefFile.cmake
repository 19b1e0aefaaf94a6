# Writes a module-definition file exporting the names of a linker version script
# that the given objects define.
# cmake -DNM=... -DMAP=version.map -DOBJECTS=objects.txt -DDEF=out.def -P WriteDefFile.cmake
file(READ ${MAP} map)
string(REGEX REPLACE "/\\*.*\\*/" "" map "${map}")        # comments
string(REGEX MATCH "global:[^}]*local:" global "${map}")
string(REGEX REPLACE "global:|local:" "" global "${global}")
string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*" names "${global}")

file(STRINGS ${OBJECTS} objects)
set(defined)
foreach(object IN LISTS objects)
  if(object STREQUAL "")
    continue()
  endif()
  execute_process(COMMAND ${NM} -g --defined-only ${object}
                  OUTPUT_VARIABLE out RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${object}")
  endif()
  # i386 C symbols carry one leading underscore.
  string(REGEX MATCHALL " [TD] _?[A-Za-z0-9_]+" symbols "${out}")
  foreach(symbol IN LISTS symbols)
    string(REGEX REPLACE "^ [TD] _?" "" symbol "${symbol}")
    list(APPEND defined ${symbol})
  endforeach()
endforeach()

set(text "EXPORTS\n")
foreach(name IN LISTS names)
  list(FIND defined "${name}" at)
  if(NOT at EQUAL -1)
    string(APPEND text "  ${name}\n")
  endif()
endforeach()
file(WRITE ${DEF} "${text}")

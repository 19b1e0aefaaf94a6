# Export lists of our Windows DLLs, in one place.
#
# A DLL linked by MinGW exports every global symbol unless it is told what to
# export: visibility attributes do not apply to PE files, and the C++ and GCC
# runtimes linked statically into it would be exported too. Each DLL of ours
# therefore links a module-definition (.def) file that lists its exports.

set(_dalvex_write_def ${CMAKE_CURRENT_LIST_DIR}/WriteDefFile.cmake)

# Exports from `target` those names of the linker version script `map` that its
# objects define. `objects` holds the objects as a list of generator
# expressions ($<TARGET_OBJECTS:...>). The .def file is written just before each
# link, from the objects being linked, so routines not yet written are skipped.
function(dalvex_windows_exports_from_map target map objects)
  set(def ${CMAKE_CURRENT_BINARY_DIR}/${target}.def)
  set(list_file ${CMAKE_CURRENT_BINARY_DIR}/${target}.objects)
  file(GENERATE OUTPUT ${list_file} CONTENT "$<JOIN:${objects},\n>\n")
  add_custom_command(TARGET ${target} PRE_LINK
    COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DMAP=${map} -DOBJECTS=${list_file}
            -DDEF=${def} -P ${_dalvex_write_def}
    VERBATIM)
  target_link_options(${target} PRIVATE ${def})
endfunction()

# Links the fixed module-definition file `def` into `target`.
function(dalvex_windows_def_file target def)
  target_link_options(${target} PRIVATE ${def})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${def})
endfunction()

# Binding to a services library built with the Microsoft toolchain (32-bit
# Windows).
#
# The plug-in calls VornServices by the C++ names of its functions, and GCC
# and Microsoft's compiler decorate those names differently: linked as GCC
# names them, the plug-in loads only beside a services library built by GCC.
# With DALVEX_MSVC_SERVICES, the import library of the services library maps
# each GCC name to the Microsoft one (host_interface/vorn_services_msvc.def,
# fed to dlltool), so that the plug-in, and everything else that links
# vorn_services, asks the DLL for the Microsoft names; the stand-in
# vorn_services.dll then exports those names and no other.
#
# On by default: the hosts are 32-bit Windows programs built with the
# Microsoft toolchain, and so, most likely, is their services library. A host
# whose services library is built by GCC needs -DDALVEX_MSVC_SERVICES=OFF.
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  option(DALVEX_MSVC_SERVICES "Bind to a services library exporting Microsoft-decorated names" ON)
else()
  set(DALVEX_MSVC_SERVICES OFF)
endif()
set(DALVEX_MSVC_SERVICES_MAP ${PROJECT_SOURCE_DIR}/host_interface/vorn_services_msvc.def)
include(${CMAKE_CURRENT_LIST_DIR}/WindowsExports.cmake)

# Turns the stand-in services library `target` into one with the Microsoft
# names. Call it where the target is defined.
function(dalvex_msvc_services target)
  if(NOT DALVEX_MSVC_SERVICES)
    return()
  endif()
  # Its export list: each Microsoft name, for the function GCC compiled.
  file(STRINGS ${DALVEX_MSVC_SERVICES_MAP} pairs REGEX "^[ \t]*[^; \t].*==")
  set(text "LIBRARY vorn_services.dll\nEXPORTS\n")
  foreach(pair IN LISTS pairs)
    string(REGEX REPLACE "^[ \t]*([^ \t]+)[ \t]*==[ \t]*([^ \t]+).*" "  \\2 = \\1\n" export "${pair}")
    string(APPEND text "${export}")
  endforeach()
  set(def ${CMAKE_CURRENT_BINARY_DIR}/${target}_msvc_names.def)
  file(GENERATE OUTPUT ${def} CONTENT "${text}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${DALVEX_MSVC_SERVICES_MAP})
  dalvex_windows_def_file(${target} ${def})
  # No export attributes of its own; its users learn which names it has.
  target_compile_definitions(${target} PRIVATE VORN_SERVICES_DEF_EXPORTS
                             INTERFACE VORN_SERVICES_MSVC_NAMES)
  # The import library the linker wrote names the Microsoft exports, which no
  # GCC-compiled caller refers to: dlltool's mapping one replaces it.
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_DLLTOOL} -d ${DALVEX_MSVC_SERVICES_MAP} -l $<TARGET_LINKER_FILE:${target}>
    VERBATIM)
endfunction()

# Cross builds: nlohmann/json is header-only and the same for every target.
# Debian's headers are copied into the build, as for CLI11, so that the build
# machine's /usr/include stays off the compile line.
if(NOT TARGET nlohmann_json::nlohmann_json)
  set(_nlohmann_include ${CMAKE_BINARY_DIR}/_nlohmann_json/include)
  if(NOT EXISTS ${_nlohmann_include}/nlohmann)
    file(COPY /usr/include/nlohmann DESTINATION ${_nlohmann_include})
  endif()
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${_nlohmann_include})
endif()
set(nlohmann_json_FOUND TRUE)

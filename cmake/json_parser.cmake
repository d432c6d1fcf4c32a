# The tests and the fuzz target read kest.json back with nlohmann's JSON parser, which is
# header-only: a cross build takes the build machine's headers, through a folder that holds
# them alone, as no other header of the build machine may come with them.
if(CMAKE_CROSSCOMPILING)
  find_path(KEST_JSON_INCLUDE_DIR nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  set(json_headers ${CMAKE_BINARY_DIR}/json-headers)
  file(MAKE_DIRECTORY ${json_headers})
  file(CREATE_LINK ${KEST_JSON_INCLUDE_DIR}/nlohmann ${json_headers}/nlohmann SYMBOLIC)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${json_headers})
else()
  find_package(nlohmann_json 3.10 REQUIRED)
endif()

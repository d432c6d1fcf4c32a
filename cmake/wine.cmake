# Windows programs built here run under Wine: the tests, and gtest's listing of them.
# The prefix lives in the build folder and is made by the build, as its first start
# takes seconds. ctest starts a lasting wineserver before the tests, as otherwise it
# waits on Wine's background services after each one, and stops it after them.
set(KEST_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
get_filename_component(KEST_WINE_DIR ${KEST_WINE} DIRECTORY)
find_program(KEST_WINESERVER NAMES wineserver wineserver64 HINTS ${KEST_WINE_DIR} REQUIRED)
# Starts Wine without address space randomisation (see wine-run.in).
find_program(KEST_SETARCH setarch REQUIRED)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)

# Its windows go to Wine's null display driver: there is no display here, and the console
# that a test makes for itself has a window.
add_custom_command(OUTPUT ${KEST_WINE_PREFIX}/kest-prefix.stamp
  COMMAND ${CMAKE_BINARY_DIR}/wine-run wineboot --init
  COMMAND ${CMAKE_BINARY_DIR}/wine-run reg add "HKCU\\Software\\Wine\\Drivers" /v Graphics /d null /f
  COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${KEST_WINE_PREFIX} ${KEST_WINESERVER} --wait
  COMMAND ${CMAKE_COMMAND} -E touch ${KEST_WINE_PREFIX}/kest-prefix.stamp
  COMMENT "Making the Wine prefix"
  VERBATIM)
add_custom_target(kest_wine_prefix DEPENDS ${KEST_WINE_PREFIX}/kest-prefix.stamp)

# The fixture every test under Wine requires (see KEST_TEST_PROPERTIES).
function(kest_add_wine_server_fixture)
  # Detached from ctest's output, which they would otherwise hold open for as long as
  # they run: the server, and the background services that wineboot starts under it.
  add_test(NAME wine.start_server
    COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${KEST_WINE_PREFIX}
            sh -c "'${KEST_WINESERVER}' --persistent </dev/null >/dev/null 2>&1 &&
                   '${CMAKE_BINARY_DIR}/wine-run' wineboot </dev/null >/dev/null 2>&1")
  add_test(NAME wine.stop_server
    COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${KEST_WINE_PREFIX} ${KEST_WINESERVER} --kill)
  set_tests_properties(wine.start_server PROPERTIES FIXTURES_SETUP wine)
  set_tests_properties(wine.stop_server PROPERTIES FIXTURES_CLEANUP wine)
endfunction()

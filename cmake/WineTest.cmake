# Tests of the cross build run their Windows programs under Wine. Each run
# gets the build's own Wine prefix, started once by the `wine_prefix` fixture.
# Wine exits 0 even when it could not run a 32-bit program at all, so a test
# passes only when the program's own output says so.

if(WIN32 AND CMAKE_CROSSCOMPILING)
  add_test(NAME wine_prefix_init COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-init.sh)
  set_tests_properties(wine_prefix_init PROPERTIES FIXTURES_SETUP wine_prefix
                       ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix")
endif()

# halvory_add_gtest(<target>): one CTest test running every case of a
# GoogleTest program in one process (natively, or under Wine in one start).
function(halvory_add_gtest target)
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    add_test(NAME ${target} COMMAND ${target} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
    set_tests_properties(${target} PROPERTIES
      FIXTURES_REQUIRED wine_prefix
      ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix"
      PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] [0-9]+ test"
      FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]"
      SKIP_REGULAR_EXPRESSION "cannot run 32-bit Windows programs")
  else()
    add_test(NAME ${target} COMMAND ${target})
  endif()
endfunction()

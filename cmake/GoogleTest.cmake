# GoogleTest: Debian's prebuilt library natively, built from Debian's sources
# (package googletest) for the Windows cross build.
if(WIN32)
  set(HALVORY_GTEST_SRC /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  # GoogleTest itself uses exceptions; build it with its own flags.
  add_subdirectory(${HALVORY_GTEST_SRC} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  foreach(t gtest gtest_main)
    target_compile_options(${t} PRIVATE -fexceptions -Wno-error)
  endforeach()
else()
  find_package(GTest REQUIRED)
endif()

# halvory_add_plugin(<name> DEF <file.def> SOURCES ... LIBS ...): a plug-in DLL
# named <name>.spi whose exports are the undecorated names of the .def file.
function(halvory_add_plugin name)
  cmake_parse_arguments(P "" "DEF" "SOURCES;LIBS" ${ARGN})
  add_library(${name} SHARED ${P_SOURCES} ${P_DEF})
  target_link_libraries(${name} PRIVATE ${P_LIBS})
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".spi")
  # i686 __stdcall symbols carry an @N suffix; the host asks for plain names.
  # --kill-at drops the suffix from the export table; the .def names the plain
  # exports and the linker's stdcall fixup joins the two (silenced: expected).
  target_link_options(${name} PRIVATE -Wl,--kill-at)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_link_options(${name} PRIVATE -Wl,--enable-stdcall-fixup)
  endif()

  # The DLL must export exactly the host's names and import system DLLs only.
  file(STRINGS ${P_DEF} def_lines)
  set(exports "")
  foreach(line IN LISTS def_lines)
    if(line MATCHES "^[ \t]+([A-Za-z_][A-Za-z0-9_]*)")
      list(APPEND exports ${CMAKE_MATCH_1})
    endif()
  endforeach()
  add_test(NAME ${name}_pe_tables
           COMMAND ${CMAKE_SOURCE_DIR}/cmake/check-pe.sh ${CMAKE_OBJDUMP}
                   $<TARGET_FILE:${name}> ${CMAKE_SYSTEM_PROCESSOR} ${exports})
  set_tests_properties(${name}_pe_tables PROPERTIES PASS_REGULAR_EXPRESSION "PE tables ok")
endfunction()

# Warnings, reproducibility and sanitizer flags for every target of the tree.
add_compile_options(-Wall -Wextra -Wshadow -Wconversion -Wno-sign-conversion -Werror
                    -fno-exceptions
                    -ffile-prefix-map=${CMAKE_SOURCE_DIR}/=)

if(WIN32)
  # The plug-ins and our Windows programs depend on system DLLs only, and a
  # PE file carries no link time stamp so that rebuilds are byte-identical.
  add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp)
endif()

if(HALVORY_SANITIZE)
  add_compile_options(-fsanitize=${HALVORY_SANITIZE} -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${HALVORY_SANITIZE})
endif()

# A portable library of plain C++ on byte buffers, with the common headers.
function(halvory_core_library name)
  add_library(${name} STATIC ${ARGN})
  target_link_libraries(${name} PUBLIC halvory_common)
endfunction()

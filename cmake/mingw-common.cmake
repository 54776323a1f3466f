# Shared part of the mingw-w64 cross toolchains; HALVORY_MINGW_TRIPLE is set
# by the file that includes this one.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${HALVORY_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HALVORY_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${HALVORY_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${HALVORY_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${HALVORY_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# zlib goes into the image plug-in statically.
set(ZLIB_USE_STATIC_LIBS ON)

# CTest runs the Windows test programs under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)

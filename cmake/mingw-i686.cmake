# 32-bit Windows: the plug-ins as hosts load them.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(HALVORY_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# 64-bit Windows: the same sources, for driving the plug-in code under Wine
# on machines that cannot run 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(HALVORY_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

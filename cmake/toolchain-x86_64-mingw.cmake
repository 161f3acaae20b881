# Cross toolchain: 64-bit Windows with MinGW-w64, a stand-in for running the
# tests on hosts that cannot run 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOL_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

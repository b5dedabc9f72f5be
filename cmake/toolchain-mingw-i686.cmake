# The shipped build: 32-bit Windows executables that load on Windows XP SP3.
set(CORVANE_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)

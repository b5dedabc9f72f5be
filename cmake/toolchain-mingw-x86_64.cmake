# The same sources as 64-bit Windows executables: what the tests run where
# Wine cannot start 32-bit programs (a host that runs 64-bit code only).
set(CORVANE_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)

# Cross-compiles the 32-bit Windows executables with MinGW-w64 and runs them
# under Wine. The -win32 thread-model compilers are used on purpose: the
# -posix variant links winpthread, which imports functions Windows XP lacks.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(_mingw i686-w64-mingw32)
find_program(_mingw_cxx ${_mingw}-g++-win32)
find_program(_mingw_cc ${_mingw}-gcc-win32)
find_program(_mingw_rc ${_mingw}-windres)
if(NOT _mingw_cxx OR NOT _mingw_cc OR NOT _mingw_rc)
    message(FATAL_ERROR
        "MinGW-w64 i686 cross compiler not found: install the Debian packages "
        "g++-mingw-w64-i686-win32 and binutils-mingw-w64-i686 "
        "(scripts/setup-debian.sh does).")
endif()

set(CMAKE_C_COMPILER ${_mingw_cc})
set(CMAKE_CXX_COMPILER ${_mingw_cxx})
set(CMAKE_RC_COMPILER ${_mingw_rc})

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# No MinGW runtime DLL beside the executables: everything links statically.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# The wrapper runs Wine in the build tree's own prefix (see wine-run.sh.in).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)

# Cross-compiles the Windows executables against MinGW-w64 and runs them
# under Wine, for the architecture the including toolchain file names in
# CORVANE_MINGW_ARCH: i686 (what ships) or x86_64 (what runs the tests on a
# machine whose Wine cannot start 32-bit programs). Two compilers, one sysroot:
#   CORVANE_MINGW_COMPILER=gcc    MinGW-w64's own g++ (the default)
#   CORVANE_MINGW_COMPILER=clang  Debian's clang targeting <arch>-w64-mingw32
# Both use the -win32 thread model's runtime: the -posix variant links
# winpthread, which imports functions Windows XP lacks.
set(CMAKE_SYSTEM_NAME Windows)
if(CORVANE_MINGW_ARCH STREQUAL "i686")
    set(CMAKE_SYSTEM_PROCESSOR x86)
    set(_package_arch i686)
elseif(CORVANE_MINGW_ARCH STREQUAL "x86_64")
    set(CMAKE_SYSTEM_PROCESSOR AMD64)
    set(_package_arch x86-64)
else()
    message(FATAL_ERROR "CORVANE_MINGW_ARCH must be i686 or x86_64, not '${CORVANE_MINGW_ARCH}'")
endif()

set(_mingw ${CORVANE_MINGW_ARCH}-w64-mingw32)
set(CORVANE_MINGW_COMPILER gcc CACHE STRING "gcc or clang")
# try_compile projects see the choices too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CORVANE_MINGW_COMPILER CORVANE_MINGW_ARCH)

function(_corvane_require variable program package)
    find_program(${variable} ${program})
    if(NOT ${variable})
        message(FATAL_ERROR "${program} not found: install the Debian package ${package} "
                            "(scripts/setup-debian.sh does).")
    endif()
endfunction()

_corvane_require(_mingw_rc ${_mingw}-windres binutils-mingw-w64-${_package_arch})
_corvane_require(CORVANE_WINDMC ${_mingw}-windmc binutils-mingw-w64-${_package_arch})
_corvane_require(_mingw_gcc ${_mingw}-gcc-win32 gcc-mingw-w64-${_package_arch}-win32)
_corvane_require(_mingw_gxx ${_mingw}-g++-win32 g++-mingw-w64-${_package_arch}-win32)
set(CMAKE_RC_COMPILER ${_mingw_rc})

if(CORVANE_MINGW_COMPILER STREQUAL "gcc")
    set(CMAKE_C_COMPILER ${_mingw_gcc})
    set(CMAKE_CXX_COMPILER ${_mingw_gxx})
elseif(CORVANE_MINGW_COMPILER STREQUAL "clang")
    _corvane_require(_clang clang clang)
    _corvane_require(_clangxx clang++ clang)
    set(CMAKE_C_COMPILER ${_clang})
    set(CMAKE_CXX_COMPILER ${_clangxx})
    set(CMAKE_C_COMPILER_TARGET ${_mingw})
    set(CMAKE_CXX_COMPILER_TARGET ${_mingw})
    # clang does not recognise Debian's "12-win32" as a GCC version, so it
    # is shown the win32 runtime's C++ headers and libraries directly.
    execute_process(COMMAND ${_mingw_gxx} -print-libgcc-file-name
                    OUTPUT_VARIABLE _libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(_gcc_dir ${_libgcc} DIRECTORY)
    set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES
        ${_gcc_dir}/include/c++ ${_gcc_dir}/include/c++/${_mingw})
    # LLVM's own linker: GNU ld warns of every type-information section
    # that clang and GCC's compiled runtime lay out differently (hundreds of
    # lines for a link of GoogleTest), and picks one all the same.
    _corvane_require(_lld ld.lld lld)
    set(_gcc_libs "-L${_gcc_dir} -fuse-ld=lld")
else()
    message(FATAL_ERROR "CORVANE_MINGW_COMPILER must be gcc or clang")
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# No MinGW runtime DLL beside the executables: everything links statically.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ ${_gcc_libs}")

# The wrapper runs Wine in the build tree's own prefix (see wine-run.sh.in).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)

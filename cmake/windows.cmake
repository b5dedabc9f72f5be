# The Windows side: the launcher executable, the pieces it is made of and the
# stand-in client. Everything here is 32-bit and must load on Windows XP SP3.

set(CORVANE_CLIENT_VENDOR_KEY "spice-client.example" CACHE STRING
    "Registry key under HKLM\\Software where the client's installer records itself (a domain name)")
if(NOT CORVANE_CLIENT_VENDOR_KEY MATCHES "^[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?$")
    message(FATAL_ERROR
        "CORVANE_CLIENT_VENDOR_KEY must be a domain name (letters, digits, dots and "
        "hyphens), not '${CORVANE_CLIENT_VENDOR_KEY}'")
endif()

# Targets that ship: Windows XP headers and image version, no link timestamp,
# no build paths, so the same sources give the same bytes anywhere.
add_library(xp_target INTERFACE)
target_compile_options(xp_target INTERFACE -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.
                                           -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
target_compile_definitions(xp_target INTERFACE _WIN32_WINNT=0x0501 WINVER=0x0501
                                               WIN32_LEAN_AND_MEAN)
target_link_options(xp_target INTERFACE
    -Wl,--major-os-version,5,--minor-os-version,1
    -Wl,--major-subsystem-version,5,--minor-subsystem-version,1
    -Wl,--no-insert-timestamp)
target_link_libraries(controller_core PUBLIC xp_target)

# The shipped code throws and catches nothing. Built without unwinding
# tables, it keeps the C++ runtime's exception and demangling machinery,
# more than half of the executable otherwise, out of the image.
add_library(no_exceptions INTERFACE)
target_compile_options(no_exceptions INTERFACE -fno-exceptions -fno-rtti
                                               -fno-asynchronous-unwind-tables)
target_link_libraries(controller_core PRIVATE no_exceptions)

# Tests run the executables under Wine in a prefix of this build tree only.
set(WINE_PREFIX_DIR ${CMAKE_BINARY_DIR}/wine-prefix)
configure_file(cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

configure_file(launcher/client_registry.h.in ${CMAKE_BINARY_DIR}/generated/client_registry.h @ONLY)

option(CORVANE_CHECK_PIPE_SERVER
       "Send the connection parameters only to a pipe that the client, or a process it started, serves"
       ON)

set(launcher_sources controller/controller_connection.cpp controller/pipe_server_check.cpp
                     launcher/launch_sequence.cpp)
add_library(launcher_core STATIC ${launcher_sources})
target_include_directories(launcher_core PUBLIC controller launcher ${CMAKE_BINARY_DIR}/generated)
target_compile_definitions(launcher_core PUBLIC
                           CORVANE_CHECK_PIPE_SERVER=$<BOOL:${CORVANE_CHECK_PIPE_SERVER}>)
target_link_libraries(launcher_core PUBLIC controller_core PRIVATE project_warnings no_exceptions)

# Every shipped program carries an application manifest and a version
# resource, made from one template (resources/program.rc.in) with the
# project's version and these names, and is signed when signing is set up.
# A program without a manifest that asks for the invoker's level runs, for a
# standard user, with UAC's file and registry virtualization, and may then
# see other files and keys than the launcher does.
include(cmake/signing.cmake)
string(REPLACE "." ", " CORVANE_VERSION_FIELDS "${PROJECT_VERSION}")
function(corvane_shipped_program target description manifest)
    set(CORVANE_FILE_DESCRIPTION "${description}")
    set(CORVANE_FILE_NAME "${target}.exe")
    set(CORVANE_MANIFEST "${CMAKE_SOURCE_DIR}/resources/${manifest}")
    set(rc "${CMAKE_BINARY_DIR}/generated/${target}.rc")
    configure_file("${CMAKE_SOURCE_DIR}/resources/program.rc.in" "${rc}" @ONLY)
    target_sources(${target} PRIVATE "${rc}")
    set_source_files_properties("${rc}" PROPERTIES OBJECT_DEPENDS "${CORVANE_MANIFEST}")
    corvane_sign(${target})
    set_property(GLOBAL APPEND PROPERTY CORVANE_SHIPPED_PROGRAMS ${target})
endfunction()

add_executable(corvane-r launcher/main.cpp)
corvane_shipped_program(corvane-r "${CORVANE_PRODUCT}" corvane-r.manifest)
target_link_libraries(corvane-r PRIVATE launcher_core project_warnings no_exceptions)
# Ship without symbols; the link map shows what the image is made of
# (scripts/footprint.sh).
target_link_options(corvane-r PRIVATE -s -Wl,--gc-sections -Wl,-Map=${CMAKE_BINARY_DIR}/corvane-r.map)

add_subdirectory(findings)
add_subdirectory(handler)
add_subdirectory(tools/common)
add_subdirectory(tools/client_standin)
add_subdirectory(tools/check)

include(cmake/packaging.cmake)

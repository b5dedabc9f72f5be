# Optional Authenticode signing of every shipped executable with
# osslsigncode, right after each is linked (the MSI that holds them is signed
# once it is built). The password comes from the environment of the build
# (CORVANE_SIGN_PASSWORD) and is handed to osslsigncode on a pipe, so it is
# never written to the cache, the build files or the build log.
set(CORVANE_SIGN_PKCS12 "" CACHE FILEPATH
    "PKCS#12 file to sign the executables and the MSI with (empty: leave them unsigned)")
set(CORVANE_SIGN_TIMESTAMP_URL "" CACHE STRING
    "RFC 3161 timestamp server for every signature (empty: signatures carry no timestamp)")

if(CORVANE_SIGN_PKCS12)
    find_program(OSSLSIGNCODE osslsigncode)
    if(NOT OSSLSIGNCODE)
        message(FATAL_ERROR "signing needs osslsigncode: install the Debian package osslsigncode")
    endif()
    if(NOT EXISTS "${CORVANE_SIGN_PKCS12}")
        message(FATAL_ERROR "CORVANE_SIGN_PKCS12: no such file: ${CORVANE_SIGN_PKCS12}")
    endif()
elseif(CORVANE_SIGN_TIMESTAMP_URL)
    message(FATAL_ERROR "CORVANE_SIGN_TIMESTAMP_URL needs CORVANE_SIGN_PKCS12: nothing is signed")
endif()

# Called in the folder that defines the target, as POST_BUILD steps must be.
function(corvane_sign target)
    if(CORVANE_SIGN_PKCS12)
        add_custom_command(TARGET ${target} POST_BUILD
            COMMAND sh ${CMAKE_SOURCE_DIR}/cmake/sign.sh ${OSSLSIGNCODE} ${CORVANE_SIGN_PKCS12}
                    $<TARGET_FILE:${target}> ${CORVANE_SIGN_TIMESTAMP_URL}
            COMMENT "Signing ${target}.exe"
            VERBATIM)
    endif()
endfunction()

# Optional Authenticode signing of corvane-r.exe with osslsigncode, right
# after it is linked. The password comes from the environment of the build
# (CORVANE_SIGN_PASSWORD) and is handed to osslsigncode on a pipe, so it is
# never written to the cache, the build files or the build log.
set(CORVANE_SIGN_PKCS12 "" CACHE FILEPATH
    "PKCS#12 file to sign corvane-r.exe with (empty: leave it unsigned)")

if(CORVANE_SIGN_PKCS12)
    find_program(OSSLSIGNCODE osslsigncode)
    if(NOT OSSLSIGNCODE)
        message(FATAL_ERROR "signing needs osslsigncode: install the Debian package osslsigncode")
    endif()
    if(NOT EXISTS "${CORVANE_SIGN_PKCS12}")
        message(FATAL_ERROR "CORVANE_SIGN_PKCS12: no such file: ${CORVANE_SIGN_PKCS12}")
    endif()
    add_custom_command(TARGET corvane-r POST_BUILD
        COMMAND sh ${CMAKE_SOURCE_DIR}/cmake/sign.sh ${OSSLSIGNCODE} ${CORVANE_SIGN_PKCS12}
                $<TARGET_FILE:corvane-r>
        COMMENT "Signing corvane-r.exe"
        VERBATIM)
endif()

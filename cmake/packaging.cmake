# cmake --install and a CPack ZIP: the launcher and the connection handler,
# the check tool and the stand-in client as diagnostic tools, the documents,
# the administrative templates (which the MSI leaves out: admins copy them
# to where Group Policy is edited, not to every desktop), and SHA256SUMS.
install(TARGETS corvane-r corvane-r-open RUNTIME DESTINATION .)
install(TARGETS client-standin corvane-r-check RUNTIME DESTINATION tools)
install(FILES README.md LICENSE DESTINATION .)
install(FILES docs/deployment.md DESTINATION . RENAME DEPLOYMENT.md)
install(DIRECTORY policy/templates/ DESTINATION policy-templates)

# Runs after the files above are in place, wherever the install goes.
install(CODE [[
    set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
    set(sums "")
    foreach(file corvane-r.exe corvane-r-open.exe tools/client-standin.exe tools/corvane-r-check.exe README.md
                 DEPLOYMENT.md LICENSE policy-templates/corvane.admx
                 policy-templates/en-US/corvane.adml policy-templates/zh-CN/corvane.adml
                 policy-templates/zh-TW/corvane.adml)
        file(SHA256 "${root}/${file}" hash)
        string(APPEND sums "${hash}  ${file}\n")
    endforeach()
    file(WRITE "${root}/SHA256SUMS" "${sums}")
]])

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME corvane-r)
set(CPACK_PACKAGE_VENDOR "${CORVANE_COMPANY}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME win32)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)

# The MSI for software distribution tools (cmake --build ... --target msi),
# built from the same installed files, signed like the executable when
# signing is configured.
find_program(WIXL wixl)
set(CORVANE_MSI ${CMAKE_BINARY_DIR}/corvane-r-${PROJECT_VERSION}.msi)
set(msi_stage ${CMAKE_BINARY_DIR}/msi-stage)
set(msi_signing "")
if(CORVANE_SIGN_PKCS12)
    set(msi_signing ${OSSLSIGNCODE} ${CORVANE_SIGN_PKCS12} ${CORVANE_SIGN_TIMESTAMP_URL})
endif()
if(WIXL)
    add_custom_target(msi
        COMMAND ${CMAKE_COMMAND} -E rm -rf ${msi_stage}
        COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${msi_stage}
        COMMAND ${CMAKE_SOURCE_DIR}/installer/build-msi.sh ${msi_stage} ${PROJECT_VERSION}
                ${CORVANE_MSI} ${msi_signing}
        BYPRODUCTS ${CORVANE_MSI}
        COMMENT "Building corvane-r-${PROJECT_VERSION}.msi"
        VERBATIM)
    get_property(shipped GLOBAL PROPERTY CORVANE_SHIPPED_PROGRAMS)
    add_dependencies(msi ${shipped})
else()
    add_custom_target(msi COMMAND ${CMAKE_COMMAND} -E echo
        "the MSI needs wixl and msitools: install the Debian packages wixl and msitools" COMMAND false)
endif()

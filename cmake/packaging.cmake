# cmake --install and a CPack ZIP: the launcher, the stand-in client as a
# diagnostic tool, the documents, and SHA256SUMS over all of them.
install(TARGETS corvane-r RUNTIME DESTINATION .)
install(TARGETS client-standin RUNTIME DESTINATION tools)
install(FILES README.md LICENSE DESTINATION .)
install(FILES docs/deployment.md DESTINATION . RENAME DEPLOYMENT.md)

# Runs after the files above are in place, wherever the install goes.
install(CODE [[
    set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
    set(sums "")
    foreach(file corvane-r.exe tools/client-standin.exe README.md DEPLOYMENT.md LICENSE)
        file(SHA256 "${root}/${file}" hash)
        string(APPEND sums "${hash}  ${file}\n")
    endforeach()
    file(WRITE "${root}/SHA256SUMS" "${sums}")
]])

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME corvane-r)
set(CPACK_PACKAGE_VENDOR Corvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME win32)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)

# The Debian package: `cmake --build --preset release --target package` makes
# corvanthelix_<version>_<arch>.deb from the install rules, with the library dependencies worked
# out by dpkg-shlibdeps (package dpkg-dev).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvanthelix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Corvanthelix developers")
set(CPACK_PACKAGE_CONTACT "The Corvanthelix developers <corvanthelix@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "spam filter that runs as a local POP3 proxy")
set(CPACK_PACKAGE_DESCRIPTION
  "Corvanthelix sits between a POP3 mail client and the real mail server on 127.0.0.1. It filters
the new mail with sender lists, spam words, a learning filter and plug-ins, hides spam in a
recycle bin the user can restore from, and files new mail in a training area. A tray icon
gives the recycle bin, the training area and the statistics; --headless runs the proxy alone.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its platform plug-ins at run time, where dpkg-shlibdeps cannot see them.
if(CORVANTHELIX_WITH_QT)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-qpa-plugins, fonts-dejavu-core")
endif()
# vexolindra is the package's own library, found by dpkg-shlibdeps in its private folder
# (dpkg-shlibdeps runs in the staging folder, so the path is relative to it).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS usr/lib/corvanthelix)
include(CPack)

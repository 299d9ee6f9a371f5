# The Debian package of quorvane-cli (make deb): the program, its manual page, its bash completion, and the
# copyright and change log that Debian asks of every package, with the pages compressed as Debian keeps them.
include(GNUInstallDirs)
set(deb_doc ${CMAKE_INSTALL_DATADIR}/doc/quorvane-cli)
foreach(page IN ITEMS cli/quorvane-cli.1 cmake/deb/changelog)
  get_filename_component(name ${page} NAME)
  add_custom_command(OUTPUT ${name}.gz COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/${page} > ${name}.gz
                     DEPENDS ${PROJECT_SOURCE_DIR}/${page} VERBATIM)
  list(APPEND deb_pages ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
endforeach()
add_custom_target(quorvane_deb_pages ALL DEPENDS ${deb_pages})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/quorvane-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz ${PROJECT_SOURCE_DIR}/cmake/deb/copyright DESTINATION ${deb_doc})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvane-cli)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "Quorvane developers <maintainers@quorvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "encrypt and decrypt files into Quorvane containers")
set(CPACK_PACKAGE_DESCRIPTION "quorvane-cli encrypts files under a key that you type, and decrypts them
again, in a terminal or a script. Its containers are those of the Quorvane
window program for Windows, byte for byte: the same key opens the same files.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

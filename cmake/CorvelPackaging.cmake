# The Debian packages, made by `cpack -G DEB` in a build tree (scripts/package.sh): corvel, the
# client, and corvel-devservice, the development account server and NAT helper. Their
# dependencies are computed from the shared libraries the binaries load (dpkg-shlibdeps).

# The package documents: copyright, the changelog and the manual pages, compressed as Debian
# wants them.
set(CORVEL_PACKAGE_DIR ${CMAKE_BINARY_DIR}/package)
configure_file(${PROJECT_SOURCE_DIR}/resources/package/copyright
  ${CORVEL_PACKAGE_DIR}/copyright @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/resources/package/changelog
  ${CORVEL_PACKAGE_DIR}/changelog @ONLY)
add_custom_command(OUTPUT ${CORVEL_PACKAGE_DIR}/changelog.gz
  COMMAND gzip -9nkf ${CORVEL_PACKAGE_DIR}/changelog
  DEPENDS ${CORVEL_PACKAGE_DIR}/changelog
  VERBATIM)
set(package_docs ${CORVEL_PACKAGE_DIR}/changelog.gz)
foreach(component client devservice)
  set(name corvel)
  if(component STREQUAL devservice)
    set(name corvel-devservice)
  endif()
  install(FILES ${CORVEL_PACKAGE_DIR}/copyright ${CORVEL_PACKAGE_DIR}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${name} COMPONENT ${component})
  # The manual page, compressed.
  configure_file(${PROJECT_SOURCE_DIR}/resources/man/${name}.1 ${CORVEL_PACKAGE_DIR}/${name}.1 @ONLY)
  add_custom_command(OUTPUT ${CORVEL_PACKAGE_DIR}/${name}.1.gz
    COMMAND gzip -9nkf ${CORVEL_PACKAGE_DIR}/${name}.1
    DEPENDS ${CORVEL_PACKAGE_DIR}/${name}.1
    VERBATIM)
  list(APPEND package_docs ${CORVEL_PACKAGE_DIR}/${name}.1.gz)
  install(FILES ${CORVEL_PACKAGE_DIR}/${name}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
    COMPONENT ${component})
endforeach()
add_custom_target(corvel_package_docs ALL DEPENDS ${package_docs})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvel)
set(CPACK_PACKAGE_VENDOR "The Corvel developers")
set(CPACK_PACKAGE_CONTACT "The Corvel developers <packages@corvel.net>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL client devservice)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_CLIENT_PACKAGE_NAME corvel)
set(CPACK_DEBIAN_CLIENT_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_DEVSERVICE_PACKAGE_NAME corvel-devservice)
set(CPACK_DEBIAN_DEVSERVICE_PACKAGE_SECTION devel)
set(CPACK_COMPONENT_CLIENT_DESCRIPTION "desktop telephone for a prepaid calling service
Corvel is the desktop client of a prepaid calling service: log in with an
account to see the balance, the linked phone and the SIP number, place and
receive SIP calls (G.711, G.729, AMR-NB, RFC 2833 keys), ask the service for
call-backs and conferences, and keep an address book with spreadsheet import
and export.")
set(CPACK_COMPONENT_DEVSERVICE_DESCRIPTION "development account server and NAT helper for Corvel
corvel-devservice plays the calling service's account server and NAT helper
on one machine, with demo accounts, for trying and testing the Corvel client
without a real service. It is not a service for subscribers.")
include(CPack)

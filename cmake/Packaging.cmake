# cpack -G DEB: one package with the desktop program, the headless recorder
# and the engine. Its dependencies are read off the binaries.
set(CPACK_PACKAGE_NAME orvex)
set(CPACK_PACKAGE_VENDOR "Orvex")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop screen recorder and live streamer")
set(CPACK_PACKAGE_DESCRIPTION "Records the desktop and a microphone to an MP4 file, mixes background music\n\
into the recording, shows a webcam and a logo on screen, and streams the same\n\
picture live to several RTMP servers at once. Includes the OrvexLite desktop\n\
program, the capmill command for scripts, and the Capmill engine library.")
set(CPACK_PACKAGE_CONTACT "Orvex developers <dev@orvex.example.com>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Orvex developers <dev@orvex.example.com>")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://orvex.example.com/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps finds the engine in the package itself.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/engine)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The engine lives in the package: its shlibs entry lets other packages depend
# on it, and the dynamic linker's cache is refreshed by a trigger, as Debian
# asks, not by the ldconfig calls CPack would put into the maintainer scripts.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/docs/debian/triggers ${PROJECT_SOURCE_DIR}/docs/debian/postinst
  ${PROJECT_SOURCE_DIR}/docs/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

# What Debian asks of every package: the copyright and a compressed changelog.
set(ORVEX_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME})
install(FILES ${PROJECT_SOURCE_DIR}/docs/debian/copyright DESTINATION ${ORVEX_DOC_DIR})
string(TIMESTAMP ORVEX_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${PROJECT_SOURCE_DIR}/docs/debian/changelog.in ${CMAKE_BINARY_DIR}/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND gzip -9n -c ${CMAKE_BINARY_DIR}/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
  DEPENDS ${CMAKE_BINARY_DIR}/changelog)
add_custom_target(orvex_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${ORVEX_DOC_DIR})

include(CPack)

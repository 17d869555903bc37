# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: "cpack -G DEB" in a release build configured with
# -DCMAKE_INSTALL_PREFIX=/usr (scripts/package does both) gives
# ratelens_<version>_<arch>.deb with everything "cmake --install" puts in place.
include(GNUInstallDirs)

set(RATELENS_HOMEPAGE "https://github.com/ratelens/ratelens")
set(RATELENS_MAINTAINER "The Ratelens developers <dev@ratelens.invalid>")

# What Debian wants beside the files of the program: the licence in its
# machine-readable form and the package's change log, both in the package's
# documentation folder.
set(RATELENS_DEB_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/ratelens)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/packaging/copyright DESTINATION ${RATELENS_DEB_DOCDIR})
string(TIMESTAMP RATELENS_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog.in
    ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog @ONLY)
find_program(GZIP gzip)
if(GZIP)
    add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz
        COMMAND ${GZIP} -9n -c ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog
            > ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz
        DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog)
    add_custom_target(ratelens_changelog ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz DESTINATION ${RATELENS_DEB_DOCDIR})
endif()

if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    message(STATUS "Install prefix ${CMAKE_INSTALL_PREFIX}: a Debian package needs "
                   "-DCMAKE_INSTALL_PREFIX=/usr (scripts/package sets it)")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ratelens)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Ratelens developers")
set(CPACK_PACKAGE_CONTACT ${RATELENS_MAINTAINER})
set(CPACK_PACKAGE_HOMEPAGE_URL ${RATELENS_HOMEPAGE})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "dead-time measurement for multi-channel X-ray fluorescence detectors")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME ratelens)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${RATELENS_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${RATELENS_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The Japanese interface, the default, needs a font with Japanese glyphs;
# either of Debian's two common ones will do.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-ipafont-gothic")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The synopsis line comes from the summary above; this is the long description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Ratelens measures the counting dead time of a multi-channel X-ray fluorescence
detector. From recordings of a sample at several incident-beam intensities it
fits, for every channel, the input count rate against the beam intensity and
the single-channel-analyser count against the input count rate, and gives the
pre-amplifier and the amplifier dead time of each channel.

The package holds the window (ratelens, in English and Japanese) and the
batch command ratelens-batch, which works without a display and adds standard
errors and R-squared of both fits.")

include(CPack)

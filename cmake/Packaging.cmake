# SPDX-License-Identifier: Apache-2.0
# Copyright Huecast contributors
#
# The Debian package: `cpack -G DEB` over what cmake/Install.cmake (and any later component's
# install rules) put in the tree, installed under /usr, its dependencies worked out from the
# binaries by dpkg-shlibdeps. Configure with CMAKE_INSTALL_PREFIX=/usr (the `package` preset) so
# the private folder lands in the multiarch library folder.

set(HUECAST_PACKAGE_MAINTAINER "Huecast contributors <huecast@example.org>"
    CACHE STRING "The Debian package's Maintainer field")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME huecast)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${HUECAST_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "GPU colour grading through 3D LUTs (.cube files)")
# Debian wraps the long description at 80 columns: lines of at most 79.
set(CPACK_PACKAGE_DESCRIPTION
    "Huecast maps every pixel of every frame through a 3D colour look-up table read\n"
    "from a cube file, on the GPU (or Mesa's llvmpipe, headless). The huecast\n"
    "command grades still frames and frame sequences through the plug-in in its\n"
    "reference host, checks cube files, and manages the LUT library folder. Its\n"
    "frei0r filter module grades clips inside ffmpeg, the MLT engine (melt,\n"
    "Kdenlive, Shotcut) and GStreamer.")
list(JOIN CPACK_PACKAGE_DESCRIPTION "" CPACK_PACKAGE_DESCRIPTION)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps has to resolve the kit library the binaries link from the private folder.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ${CMAKE_BINARY_DIR}/lib ${CMAKE_BINARY_DIR}/Huecast.bundle)
# The plug-in draws text and renders through EGL: a font and a GL driver (llvmpipe on machines
# without a GPU), which no binary links.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libegl-mesa0 | libegl-vendor, libgl1-mesa-dri, fonts-dejavu-core | fonts-freefont-ttf")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion, parallel")

# A native package's changelog, from the one version.
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${PROJECT_BINARY_DIR}/debian/changelog
     "huecast (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
     "  * Huecast ${PROJECT_VERSION}.\n\n"
     " -- ${HUECAST_PACKAGE_MAINTAINER}  ${changelog_date}\n")
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/debian/changelog.gz
    COMMAND gzip -9nkf ${PROJECT_BINARY_DIR}/debian/changelog
    DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog
    VERBATIM)
add_custom_target(huecast_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/debian/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

include(CPack)

# The Debian package, made by CPack from the install rules (scripts/package builds it from the
# release preset). The Windows zip is put together by scripts/package itself.
if(WIN32)
  return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tablora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Projekt Tablora")
set(CPACK_PACKAGE_CONTACT "Projekt Tablora <podpora@tablora.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "back up, repair and restore a Paradox billing database")
# One string: a semicolon would split it into a CMake list.
set(CPACK_PACKAGE_DESCRIPTION "Tablora backs up the directory of Paradox tables of a call-accounting\n\
and billing application, repairs it (index deletion, key-violation repair, rebuild of\n\
damaged tables) and restores it. The window is in Slovak. The command-line tools\n\
tablora-cli, pdx and tablora-sample run the same operations from scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # tablora_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.tablora.example")
# The libraries the programs link come from dpkg-shlibdeps. What it cannot see: the X11
# platform plugin Qt loads at run time, the Slovak catalogue of Qt's own dialog words, and a
# font with the Slovak letters.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)

# The Debian package, made by cpack (scripts/package.sh) from what `cmake --install` puts in
# place, under /usr. A sanitizer or fuzzer build is never packaged.
if(VARNELT_SANITIZE OR VARNELT_FUZZ)
    return()
endif()
set(VARNELT_PACKAGING ON)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnelt)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Varnelt developers <varnelt@users.noreply.github.com>"
    CACHE STRING "The Maintainer field of the Debian package")
set(CPACK_PACKAGE_HOMEPAGE_URL https://github.com/varnelt/varnelt)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find the damaged and unwanted archives among many files")
set(CPACK_PACKAGE_DESCRIPTION [[
Varnelt tests each archive it is given, or finds in the folders it is given,
through its archiver libraries, which read every entry to its end so that
every checksum is verified. It judges the archive against the rules switched
on (damaged or unreadable, password-protected, wrong extension for its
content, too many stored files, name differing from its single stored file),
writes a verdict into each row, and leaves, moves, trashes or deletes every
bad archive as chosen. LZH, ZIP, CAB, TAR, RAR, BGA and 7z are read, each
archive in a sandboxed worker process. The window speaks Japanese or English.

varnelt-check judges files with the same libraries and rules from the
command line and writes its log as text or JSON.]])
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# dpkg-shlibdeps reads every ELF file of the package, the archiver libraries in lib/varnelt
# too: nothing links them, the worker loads them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Found only at run time: Qt's own dialog texts in Japanese. (Debian 12 ships the xcb platform
# plugin in libqt6gui6, which the programs link.)
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-translations-l10n)
# The window's Japanese text needs a CJK font.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-ipafont-gothic")

# Debian's layout in the staged tree, before packing: manual pages compressed.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/debian_staging.cmake)

include(CPack)

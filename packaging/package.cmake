# The Debian package: `cpack -G DEB` in the build folder writes torvix_<version>_amd64.deb.
# Directories made by the installation are 0755 whatever the umask of the one who builds.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME torvix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Torvix developers")
set(CPACK_PACKAGE_CONTACT "The Torvix developers <${TORVIX_MAINTAINER_EMAIL}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "inventory of this PC in one Japanese-language window")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The libraries loaded on first use (dlopen: printers, directory, login history, logind and the
# journal, the X display check), where dpkg-shlibdeps cannot see them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libcups2, libldap-2.5-0, libsqlite3-0, libsystemd0, libxcb1, libxcb-randr0, libwayland-client0")
# The window's face and printing are the only parts that need the first two; the clipboard
# tools keep a copied picture pasteable after the window has ended (X11, Wayland).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-mincho, cups-client, xclip, wl-clipboard")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# CPack puts the summary first and indents these lines; an empty line parts paragraphs.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Torvix (トルビクス) shows the processor, memory, network settings, operating
system, disk use, default printer and product model of the computer it runs
on, with the time the system was started, in one Japanese-language window.

It can also print every value as text or JSON without a window, show a
computer described in a machine file, and give its values as facts to a
fleet tool such as Ansible (torvix --facts).")
include(CPack)

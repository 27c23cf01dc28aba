# The Debian package, made by `cpack` from the install rules (scripts/package). dpkg-shlibdeps
# finds the libraries the programs and the widget plugin link; Depends adds what Qt loads at run
# time, which no linked library names.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quotamind)
set(CPACK_PACKAGE_VENDOR "Brindle Cove")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Usage limits of Codex and Claude Code")
set(CPACK_PACKAGE_DESCRIPTION
    "Quotamind shows how much of their usage limits people have left with the AI
coding agents Codex and Claude Code: the 5-hour window and the weekly window of
each agent, read from the sign-ins already on the computer. It lives in the tray
with a popup and a window, alerts when a window resets, keeps a usage history,
prints the limits with quotamind status, and hands the numbers to desktop
widgets (quotamind-widgets) and to a paired phone on the local network.")
set(QUOTAMIND_PACKAGE_MAINTAINER "Brindle Cove <quotamind@brindlecove.invalid>"
    CACHE STRING "The Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${QUOTAMIND_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUOTAMIND_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The history's SQLite driver is a Qt plugin, loaded by name.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite")
# Wayland sessions want Qt's Wayland plugin (else Qt falls back to X11 through XWayland), the
# phone link publishes itself through avahi-daemon, and Qt's own texts (standard buttons, --help)
# come in the user's language from Qt's translations.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, avahi-daemon, qt6-translations-l10n")
# Sign-ins are kept in the Secret Service when one runs, else in a private file.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gnome-keyring")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_STRIP_FILES ON)
include(CPack)

# The Debian package: `cpack -G DEB` in a build configured with
# -DJUNKWARDEN_PACKAGE=ON (scripts/package.sh does it all and checks the
# result with lintian, appstreamcli and desktop-file-validate).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME junkwarden)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "spam filter for POP3 mail, with a tray icon")
# CPack puts the summary first, indents each line and marks the empty one.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Junkwarden filters the mail a mail program fetches by POP3. A local proxy
sits between the mail program and the real server, judges every new message
and holds spam back in a quarantine, where the user can read, delete or
release it.

Thunderbird's POP3 accounts are pointed at the filter and back by
themselves. White and black lists, banned words, blocked servers, 61 filter
methods and a statistical filter that learns from the user's own choices
decide what is spam.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Junkwarden developers <${JUNKWARDEN_MAINTAINER_EMAIL}>")
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${JUNKWARDEN_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "thunderbird, gnome-shell-extension-appindicator")
include(CPack)

# The Debian package that `cpack -G DEB` makes (scripts/package): what `cmake --install` installs,
# under /usr, with the program stripped. Its dependencies are worked out from the program's
# libraries by dpkg-shlibdeps; the parts loaded only at run time are named here: Qt's ODBC and
# SQLite drivers (the server, and the journal), PostgreSQL's ODBC driver, and libsecret, which
# qtkeychain loads for its Secret Service backend (the system keyring).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME recasor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Recasor developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "rewrite the letter case of the values of PostgreSQL tables")
# The package's long description, as dpkg shows it: lines of at most 80 characters, an empty
# line between paragraphs.
set(CPACK_PACKAGE_DESCRIPTION [[
Recasor rewrites the letter case of every value of one or more text fields
of a PostgreSQL table: UPPER CASE, lower case, Proper Case or Sentence case,
by Unicode's rules or by those of the data's language, with word exceptions
and rules for people's names.

Preview Changes shows what a run would change before anything is written.
A journal kept on this machine lets a run be undone, also after the program
was closed, and a value that another client changes during a run is never
overwritten.

The same runs work from the command line (recasor tables, fields, preview,
change, undo, runs), without a display, for scripts and cron.]])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Recasor developers <recasor@kestrova.com>")
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The keyring library is named as well, although dpkg-shlibdeps names it again (with its
# version) from the program's link to it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6sql6-odbc, libqt6sql6-sqlite, odbc-postgresql, libsecret-1-0, libqt6keychain1")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)

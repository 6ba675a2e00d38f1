# The Debian package, built by `cpack` in the build directory (scripts/package).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME drossgate)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Drossgate developers")
set(CPACK_PACKAGE_CONTACT "Drossgate developers <drossgate@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "spam filter that cleans POP3 and IMAP mailboxes on the server")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Drossgate developers <drossgate@localhost>")
# The libraries linked are found by dpkg-shlibdeps; what Qt loads at run time
# (the platform plugins, the SVG icon engine, the Secret Service library that
# the keyring library opens itself) and the certificates the TLS connections
# are checked against are named here, and the keyring library by name too.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, libqt6svg6, ca-certificates, libqt6keychain1, libsecret-1-0")
# The tray icon and the notifications talk to the session bus.
# The desktop keyring keeps the account passwords when there is one.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "dbus-user-session, gnome-keyring | kwalletmanager")
# The long text; CPack puts the summary above it, indents it and marks the
# empty lines as Debian's control file wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Drossgate holds your POP3 and IMAP accounts, logs into each of them on a
fixed interval, fetches every waiting message, judges it by your rules and
deletes spam on the server itself, before your mail program downloads it.

The rules are friends and blocked senders, weighted spam expressions, a
size limit, forbidden attachment types, five security levels, a limit on
identical mails and a mail life time; a learned score trained from your own
decisions handles new senders. Every judged message enters a history you
can browse, and every deleted mail is kept in a recycle bin for 30 days.

The program starts invisible; the companion command drossgate-ctl shows its
window, starts checks, restores deleted mail and trains the learned score.")

include(CPack)

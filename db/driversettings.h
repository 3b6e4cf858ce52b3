// The driver's settings for this program alone. Debian's entry for the "PostgreSQL Unicode"
// driver turns its communication log on, so every program that uses it leaves log files in /tmp;
// the driver takes that setting from its entry even when the connection string turns the log off.
// So the program reads the driver entries from a copy of its own, with the log off, and leaves the
// system's files as they are.
#pragma once

#include <QString>

// Points the ODBC driver manager at a private copy of the system's driver entries (in the
// runtime folder) with the communication log of the "PostgreSQL Unicode" driver off. To be called
// once, before the first database session. Does nothing when the user chose the driver entries
// (ODBCSYSINI or ODBCINSTINI set) or when there is no system file to copy; returns the folder it
// set, or an empty text.
QString UsePrivateDriverSettings(const QString &systemFile = QStringLiteral("/etc/odbcinst.ini"));

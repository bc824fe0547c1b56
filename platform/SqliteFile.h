#pragma once

#include <QString>

namespace tv {

// Creates a new SQLite file from a schema script (a file of the project). Refuses to touch an
// existing file. The file is private to its owner (mode 0600): it may hold a password.
// Throws tv::Error.
void createSqliteFile(const QString& path, const QString& schemaPath);

// Reads a text file whole, as UTF-8. Throws tv::Error.
QString readTextFile(const QString& path);

} // namespace tv

// Writes the supplied configuration database from its schema, only where none exists yet,
// so that a rebuild never replaces a file that holds someone's settings and rules.
#include "platform/Error.h"
#include "platform/SqliteFile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: mkconfigdb SCHEMA OUTPUT\n");
        return 2;
    }
    if (QFileInfo::exists(args[2]))
        return 0;
    try {
        tv::createSqliteFile(args[2], args[1]);
    } catch (const tv::Error& e) {
        std::fprintf(stderr, "mkconfigdb: %s\n", e.what());
        return 1;
    }
    return 0;
}

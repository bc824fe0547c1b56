#pragma once

#include <QString>

namespace tv::test {

// Folder of the project's schema and fixture files.
QString dataDir();
// Folder where the build leaves `tolvane` and its supplied db.mdb.
QString binDir();

} // namespace tv::test

#include "support/TestSupport.h"

namespace tv::test {

QString dataDir() { return QStringLiteral(TOLVANE_DATA_DIR); }
QString binDir() { return QStringLiteral(TOLVANE_BIN_DIR); }

} // namespace tv::test

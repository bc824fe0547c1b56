// The workbook writer fed arbitrary cell texts: every input must write a complete file. Whether
// the file reads back with the same texts is checked by xls_replay over the corpus, since the
// reader is a Python program.
#include "platform/Error.h"
#include "xls/XlsWorkbook.h"

#include "XlsCells.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdlib>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString path =
        QDir::temp().filePath(QStringLiteral("tolvane-fuzz-%1.xls").arg(::getpid()));
    const QStringList cells = tv::fuzz::xlsCells(data, size);
    tv::XlsWorkbook book;
    // Plain, quoted and kept texts (cells lives until the save is done), in turn.
    for (qsizetype r = 0; r < cells.size(); ++r) {
        if (r % 3 == 1)
            book.setQuotedText(int(r + 1), 1, cells[r]);
        else if (r % 3 == 2)
            book.setQuotedTextKept(int(r + 1), 1, cells[r]);
        else
            book.setText(int(r + 1), 1, cells[r]);
    }
    if (size % 3 == 0)
        book.fitColumns();
    try {
        book.save(path);
    } catch (const tv::Error&) {
        std::abort(); // a writable temporary folder: saving must not fail
    }
    // The file is whole: a compound file of 512-byte sectors.
    const qint64 length = QFileInfo(path).size();
    if (length < 1024 || length % 512 != 0)
        std::abort();
    return 0;
}

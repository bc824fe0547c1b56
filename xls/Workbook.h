#pragma once

#include <QString>
#include <QStringView>

namespace tv {

// A workbook being written sheet by sheet: cells go to the current sheet, which is the sheet
// added last. Rows and columns count from 1, as a sheet shows them (row 1, column 1 is A1).
// A cell holds text or a number.
class WorkbookWriter {
public:
    virtual ~WorkbookWriter() = default;

    // Adds a sheet after the others; it becomes the current sheet. A new workbook already has
    // one current sheet.
    virtual void addSheet() = 0;
    // Number of the current sheet, from 1.
    virtual int currentSheet() const = 0;
    // A plain text value in the current sheet.
    virtual void setText(int row, int column, QStringView text) = 0;
    // Text entered with a leading apostrophe: kept as text exactly as given (leading zeros,
    // dates and numbers unchanged), shown without the apostrophe, which is not part of it.
    virtual void setQuotedText(int row, int column, QStringView text) = 0;
    // The same for a text that stays valid and unchanged until the workbook is saved for the
    // last time, which lets a writer keep it without a copy.
    virtual void setQuotedTextKept(int row, int column, QStringView text) {
        setQuotedText(row, column, text);
    }
    // A number stored as a number, so that sums and formulas work on it: shown with decimals
    // places after the point, or as General for decimals < 0. Throws tv::Error for a value
    // that is not finite.
    virtual void setNumber(int row, int column, double value, int decimals = -1) = 0;
    // Names the current sheet (at most 31 characters, none of []:*?/\). Throws tv::Error.
    virtual void setSheetName(QStringView name) = 0;
    // Fits the width of every column of the current sheet to its widest text or number.
    virtual void fitColumns() = 0;
    // Writes the workbook to path; the file appears there only when complete. Throws tv::Error.
    virtual void save(const QString& path) = 0;
};

} // namespace tv

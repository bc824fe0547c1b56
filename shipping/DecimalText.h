#pragma once

#include <QString>
#include <QtGlobal>

namespace tv {

// The number texts of the scan: the weight and postage fields read as decimal numbers, and the
// numbers it writes back.
//
// A decimal text is: optional blanks, an optional sign, digits with at most one "." and at
// least one digit ("1." and ".5" included), an optional exponent (e or E, an optional sign,
// digits), optional blanks. Anything else is not a number and throws tv::Error naming the text.

// Kilograms × 1000, truncated toward zero, computed on the decimal digits themselves (no binary
// floating-point step, so 1.005 gives 1005). A result outside qint32 is refused like a non-number.
qint32 kilogramTextToGrams(const QString& text);

// The text as a double (the manual postage).
double decimalTextToDouble(const QString& text);

// The error text for a text that is not a number.
QString notANumberMessage(const QString& text);

// General form: up to 15 significant digits, no trailing zeros, "." as separator (12.5, 100, 0).
QString generalNumber(double value);

// Grams shown as kilograms with three decimals ("0.000"), "-" in front when negative.
QString gramsAsKilograms(qint64 grams);

} // namespace tv

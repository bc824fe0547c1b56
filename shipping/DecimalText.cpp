#include "shipping/DecimalText.h"

#include "platform/Error.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>

namespace tv {

namespace {

// A decimal text taken apart: the value is ±digits × 10^exponent, digits without leading zeros.
struct Decimal {
    bool negative = false;
    QByteArray digits;
    qint64 exponent = 0;
};

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

std::optional<Decimal> parseDecimal(const QString& text) {
    qsizetype i = 0;
    qsizetype end = text.size();
    while (i < end && text[i].isSpace())
        ++i;
    while (end > i && text[end - 1].isSpace())
        --end;

    Decimal d;
    if (i < end && (text[i] == u'+' || text[i] == u'-')) {
        d.negative = text[i] == u'-';
        ++i;
    }
    qsizetype mantissaDigits = 0;
    qint64 fractionDigits = 0;
    bool point = false;
    for (; i < end; ++i) {
        const QChar c = text[i];
        if (isDigit(c)) {
            ++mantissaDigits;
            if (point)
                ++fractionDigits;
            // Leading zeros carry no value; after the point they still count for the scale.
            if (!(d.digits.isEmpty() && c == u'0'))
                d.digits.append(char(c.unicode()));
        } else if (c == u'.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (mantissaDigits == 0)
        return std::nullopt;

    qint64 exponent = 0;
    if (i < end && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < end && (text[i] == u'+' || text[i] == u'-')) {
            negativeExponent = text[i] == u'-';
            ++i;
        }
        if (i == end || !isDigit(text[i]))
            return std::nullopt;
        // Saturate: beyond a billion the value is zero or out of every range anyway.
        for (; i < end && isDigit(text[i]); ++i)
            exponent = qMin<qint64>(exponent * 10 + (text[i].unicode() - u'0'), 1000000000);
        if (negativeExponent)
            exponent = -exponent;
    }
    if (i != end)
        return std::nullopt;

    // Trailing zeros of the digit string go into the exponent, so that digits stays short.
    qint64 zeros = 0;
    while (!d.digits.isEmpty() && d.digits.endsWith('0')) {
        d.digits.chop(1);
        ++zeros;
    }
    d.exponent = exponent - fractionDigits + zeros;
    return d;
}

} // namespace

QString notANumberMessage(const QString& text) {
    return QStringLiteral("\"%1\" is not a valid number.").arg(text);
}

qint32 kilogramTextToGrams(const QString& text) {
    const std::optional<Decimal> d = parseDecimal(text);
    if (!d)
        throw Error(notANumberMessage(text));
    if (d->digits.isEmpty())
        return 0;
    // grams = digits × 10^(exponent + 3), the fraction dropped.
    const qint64 scale = d->exponent + 3;
    const qint64 wholeDigits = d->digits.size() + scale;
    if (wholeDigits <= 0)
        return 0;
    if (wholeDigits > 10)
        throw Error(notANumberMessage(text));
    const QByteArray whole =
        scale >= 0 ? d->digits + QByteArray(scale, '0') : d->digits.left(wholeDigits);
    qint64 grams = whole.toLongLong();
    if (d->negative)
        grams = -grams;
    if (grams < std::numeric_limits<qint32>::min() || grams > std::numeric_limits<qint32>::max())
        throw Error(notANumberMessage(text));
    return static_cast<qint32>(grams);
}

double decimalTextToDouble(const QString& text) {
    const std::optional<Decimal> d = parseDecimal(text);
    if (!d)
        throw Error(notANumberMessage(text));
    if (d->digits.isEmpty())
        return 0;
    // Digits and an exponent only: strtod reads this without regard to the locale's separator.
    const QByteArray canonical = (d->negative ? QByteArray("-") : QByteArray()) + d->digits + 'e' +
                                 QByteArray::number(d->exponent);
    const double value = std::strtod(canonical.constData(), nullptr);
    if (!std::isfinite(value))
        throw Error(notANumberMessage(text));
    return value;
}

QString generalNumber(double value) {
    if (value == 0)
        return QStringLiteral("0");
    return QString::number(value, 'g', 15);
}

QString gramsAsKilograms(qint64 grams) {
    const qint64 magnitude = grams < 0 ? -grams : grams;
    return QStringLiteral("%1%2.%3")
        .arg(grams < 0 ? QStringLiteral("-") : QString())
        .arg(magnitude / 1000)
        .arg(magnitude % 1000, 3, 10, QLatin1Char('0'));
}

} // namespace tv

// The weight and postage texts: kilogramTextToGrams and decimalTextToDouble against a slow
// reference that reads the grammar with a regular expression and shifts the decimal point on
// the digit string itself; generalNumber and gramsAsKilograms read back.
#include "platform/Error.h"
#include "shipping/DecimalText.h"

#include "FuzzInput.h"

#include <QRegularExpression>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

struct Parts {
    bool negative = false;
    std::string intDigits;
    std::string fracDigits;
    std::string exponent; // with its sign, may be empty
};

std::optional<Parts> referenceParse(const QString& text) {
    qsizetype b = 0, e = text.size();
    while (b < e && text[b].isSpace())
        ++b;
    while (e > b && text[e - 1].isSpace())
        --e;
    static const QRegularExpression re(
        QStringLiteral("\\A([+-]?)([0-9]*)(?:\\.([0-9]*))?(?:[eE]([+-]?[0-9]+))?\\z"));
    const QRegularExpressionMatch m = re.match(text.mid(b, e - b));
    if (!m.hasMatch())
        return std::nullopt;
    Parts p;
    p.negative = m.captured(1) == QStringLiteral("-");
    p.intDigits = m.captured(2).toStdString();
    p.fracDigits = m.captured(3).toStdString();
    p.exponent = m.captured(4).toStdString();
    if (p.intDigits.empty() && p.fracDigits.empty())
        return std::nullopt;
    return p;
}

// Grams as a decimal string (no sign), or none when beyond any 32-bit value.
std::optional<std::string> referenceGrams(const Parts& p) {
    std::string digits = p.intDigits + p.fracDigits;
    // Position of the point, counted from the left of digits.
    long long point = (long long)p.intDigits.size() + 3;
    if (!p.exponent.empty()) {
        // An exponent beyond a few thousand moves every digit out of reach either way.
        std::string ex = p.exponent;
        const bool neg = ex[0] == '-';
        if (ex[0] == '+' || ex[0] == '-')
            ex.erase(0, 1);
        while (ex.size() > 1 && ex[0] == '0')
            ex.erase(0, 1);
        long long v = ex.size() > 7 ? 10000000 : std::stoll(ex);
        point += neg ? -v : v;
    }
    const bool allZero = digits.find_first_not_of('0') == std::string::npos;
    if (allZero)
        return std::string("0");
    if (point <= 0)
        return std::string("0");
    if (point > (long long)digits.size()) {
        if (point - (long long)digits.size() > 20)
            return std::nullopt;
        digits.append(size_t(point - (long long)digits.size()), '0');
    }
    std::string whole = digits.substr(0, size_t(point));
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
    if (whole.empty())
        whole = "0";
    return whole;
}

bool fitsInt32(const std::string& magnitude, bool negative) {
    const std::string limit = negative ? "2147483648" : "2147483647";
    if (magnitude.size() != limit.size())
        return magnitude.size() < limit.size();
    return magnitude <= limit;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool cLocale = std::setlocale(LC_ALL, "C") != nullptr;
    (void)cLocale;
    const QString text = tv::fuzz::text(QByteArray(reinterpret_cast<const char*>(data), int(size)));
    const std::optional<Parts> parts = referenceParse(text);

    // Grams.
    std::optional<qint32> grams;
    try {
        grams = tv::kilogramTextToGrams(text);
    } catch (const tv::Error& e) {
        check(e.message() == tv::notANumberMessage(text));
    }
    if (!parts) {
        check(!grams);
    } else {
        const std::optional<std::string> ref = referenceGrams(*parts);
        const bool refNegative = parts->negative && ref && *ref != "0";
        if (!ref || !fitsInt32(*ref, refNegative)) {
            check(!grams);
        } else {
            check(grams.has_value());
            const std::string got = std::to_string(*grams);
            check(got == (refNegative ? "-" : "") + *ref);
            check(tv::gramsAsKilograms(*grams).toStdString().size() >= 5);
        }
    }

    // Yuan: the nearest double, as the C library's strtod finds it.
    std::optional<double> yuan;
    try {
        yuan = tv::decimalTextToDouble(text);
    } catch (const tv::Error&) {
    }
    if (!parts) {
        check(!yuan);
    } else {
        const std::string trimmed = text.trimmed().toStdString();
        const double ref = std::strtod(trimmed.c_str(), nullptr);
        if (!std::isfinite(ref)) {
            check(!yuan);
        } else {
            check(yuan.has_value());
            check(*yuan == ref || (*yuan == 0 && ref == 0));
            // The general form reads back within its 15 significant digits.
            const QString general = tv::generalNumber(*yuan);
            const double back = tv::decimalTextToDouble(general);
            check(std::fabs(back - *yuan) <= std::fabs(*yuan) * 1e-14);
        }
    }
    return 0;
}

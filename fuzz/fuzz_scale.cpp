// The scale decoder fed arbitrary bytes. Its state is program-wide and kept from one input to
// the next, as it is kept from one reader to the next; a small model of the stream runs beside
// it and must show the same text after every byte.
#include "platform/TextTarget.h"
#include "scale/ScaleDecoder.h"
#include "tests/support/StringTarget.h"

#include <cstdlib>
#include <string>

namespace {

// The stream model: digits and points since the last line feed, the last marker of the line.
struct Model {
    std::string digits;
    enum { None, Negative, Unit } marker = None;
    std::string shown;
    bool written = false;

    void feed(unsigned char c) {
        if (c == '\n') {
            digits.clear();
            marker = None;
        } else if (c == '\r') {
            written = true;
            shown = marker == Negative ? "neg" : marker == Unit ? "unit" : digits;
        } else if (c == '-') {
            marker = Negative;
        } else if (c == 'b' || c == 'p') {
            marker = Unit;
        } else if ((c >= '0' && c <= '9') || c == '.') {
            // The weight field holds at most 32,767 characters; nothing beyond can be shown.
            if (digits.size() < 32767)
                digits.push_back(char(c));
        }
    }
};

std::string asModelText(const QString& s) {
    if (s == QStringLiteral("警告：重量为负!"))
        return "neg";
    if (s == QStringLiteral("警告：单位错误!"))
        return "unit";
    return s.toStdString();
}

void check(bool ok) {
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Model model;
    static tv::StringTarget target;
    tv::ScaleDecoderState& state = tv::scaleDecoderState();
    if (size == 0)
        return 0;
    // The first byte picks the reader: its scale type and whether the port is 0.
    const int scaleType = int(data[0] % 4) - 1; // -1, 0, 1, 2
    const int port = (data[0] & 0x10) ? 0 : 1;
    const bool decodes = port != 0 && (scaleType == 0 || scaleType == 1);
    for (size_t i = 1; i < size; ++i) {
        const QString before = target.text();
        const int writes = target.writes();
        tv::decodeScaleByte(char(data[i]), scaleType, port, state, &target);
        if (!decodes) {
            check(target.writes() == writes && target.text() == before);
            continue;
        }
        model.feed(data[i]);
        check(state.ScaleWarning >= 0 && state.ScaleWarning <= 2);
        check(state.ScaleText.size() <= 32767);
        check(state.ScaleText.toStdString() == model.digits);
        if (model.written)
            check(asModelText(target.text()) == model.shown);
    }
    return 0;
}

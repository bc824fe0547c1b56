#include "scale/ScaleDecoder.h"

#include "platform/TextTarget.h"

namespace tv {

ScaleDecoderState& scaleDecoderState() {
    static ScaleDecoderState state;
    return state;
}

void decodeScaleByte(char c, int scaleType, int portNo, ScaleDecoderState& state,
                     TextTarget* target) {
    if (portNo == 0 || (scaleType != 0 && scaleType != 1))
        return;
    // A line ends with CR LF: the CR shows what the line gathered, the LF starts the next one.
    // The last marker of a line wins; the number itself is never parsed.
    switch (c) {
    case '\n':
        state.ScaleText.clear();
        state.ScaleWarning = 0;
        break;
    case '\r':
        if (!target)
            break;
        if (state.ScaleWarning == 1)
            target->setText(QStringLiteral("警告：重量为负!"));
        else if (state.ScaleWarning == 2)
            target->setText(QStringLiteral("警告：单位错误!"));
        else
            target->setText(state.ScaleText);
        break;
    case '-':
        state.ScaleWarning = 1;
        break;
    case 'b':
    case 'p':
        state.ScaleWarning = 2;
        break;
    default:
        // A stream without line feeds would grow the text without end; the weight field shows
        // at most its first 32,767 characters, so nothing visible is lost by stopping there.
        if ((c == '.' || (c >= '0' && c <= '9')) && state.ScaleText.size() < kMaxScaleText)
            state.ScaleText.append(QLatin1Char(c));
        break;
    }
}

} // namespace tv

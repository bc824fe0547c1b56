#pragma once

#include <QString>

namespace tv {

class TextTarget;

// What the decoder has gathered of the scale's current line.
struct ScaleDecoderState {
    QString ScaleText;       // digits and decimal points since the last line feed, as they came
    qint32 ScaleWarning = 0; // 0 none, 1 negative weight, 2 wrong unit
};

// The longest text a line gathers: the weight field's own limit (QLineEdit's maximum length).
inline constexpr qsizetype kMaxScaleText = 32767;

// The program-wide decoder state, shared by every reader and kept when a reader is replaced.
ScaleDecoderState& scaleDecoderState();

// Decodes one byte of the scale's stream. Port 0 and scale types other than 0 and 1 ignore every
// byte; a carriage return shows the line's reading (or its warning) on the target.
void decodeScaleByte(char c, int scaleType, int portNo, ScaleDecoderState& state,
                     TextTarget* target);

} // namespace tv

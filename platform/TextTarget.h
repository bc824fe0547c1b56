#pragma once

#include <QString>

namespace tv {

// A text a core class may read and write without knowing the control behind it
// (the window passes a small adapter around its edit).
class TextTarget {
public:
    virtual ~TextTarget() = default;
    virtual QString text() const = 0;
    virtual void setText(const QString& text) = 0;
};

} // namespace tv

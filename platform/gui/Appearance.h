#pragma once

#include <QFont>
#include <QString>

class QLineEdit;

namespace tv {

// The windows were laid out for Tahoma and 微软雅黑. Tahoma comes from Wine's metric-compatible
// files, 微软雅黑 and every CJK fallback from WenQuanYi Micro Hei; the application font becomes
// Tahoma 12 px. Safe to call more than once.
void loadDesignedFonts();
// A font of the layout: family "Tahoma" or "微软雅黑" at a size in pixels, CJK characters drawn
// by WenQuanYi Micro Hei.
QFont designedFont(const QString& family, int pixels, bool bold = false);

// Loads Qt's own Simplified Chinese texts (file dialog, standard buttons) and makes Chinese the
// default locale. False when the translation file is missing.
bool loadQtTranslations();

// Password fields show "*" for each character.
void setStarEcho(QLineEdit* edit);

} // namespace tv

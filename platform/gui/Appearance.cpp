#include "platform/gui/Appearance.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QProxyStyle>
#include <QTranslator>

namespace tv {

namespace {

const QString kTahoma = QStringLiteral("Tahoma");
const QString kYaHei = QStringLiteral("微软雅黑");
const QString kCjk = QStringLiteral("WenQuanYi Micro Hei");

// Debian's fonts-wine: Tahoma and Tahoma Bold with the metrics of the originals.
const char* const kTahomaFiles[] = {"/usr/share/wine/fonts/tahoma.ttf",
                                    "/usr/share/wine/fonts/tahomabd.ttf"};

// Draws "*" in password fields; everything else as the application's style does.
class StarEchoStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

void loadDesignedFonts() {
    static bool loaded = false;
    if (loaded)
        return;
    loaded = true;
    if (!QFontDatabase::hasFamily(kTahoma)) {
        for (const char* file : kTahomaFiles)
            QFontDatabase::addApplicationFont(QString::fromLatin1(file));
    }
    // Any widget that names a designed family by itself falls back to the CJK font too.
    QFont::insertSubstitution(kTahoma, kCjk);
    QFont::insertSubstitutions(kYaHei, {kCjk});
    QFont::insertSubstitution(QStringLiteral("Microsoft YaHei"), kCjk);
    QApplication::setFont(designedFont(kTahoma, 12));
}

QFont designedFont(const QString& family, int pixels, bool bold) {
    QFont f;
    if (family == kYaHei)
        f.setFamilies({QStringLiteral("Microsoft YaHei"), kCjk});
    else
        f.setFamilies({family, kCjk});
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

namespace {

// Texts of the file dialog that Qt's Chinese catalog does not have yet: the type column of
// folders. Asked before the catalog (the last translator installed is asked first); an empty
// answer passes the question on.
class CatalogGaps : public QTranslator {
public:
    using QTranslator::QTranslator;

    QString translate(const char* context, const char* source, const char*, int) const override {
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0)
            return {};
        if (qstrcmp(source, "Folder") == 0)
            return QStringLiteral("文件夹");
        if (qstrcmp(source, "Drive") == 0)
            return QStringLiteral("驱动器");
        if (qstrcmp(source, "Unknown") == 0)
            return QStringLiteral("未知");
        return {};
    }
    bool isEmpty() const override { return false; }
};

} // namespace

bool loadQtTranslations() {
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    static QTranslator* translator = nullptr;
    if (translator)
        return true;
    auto* t = new QTranslator(qApp);
    if (!t->load(QStringLiteral("qtbase_zh_CN"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete t;
        return false;
    }
    QCoreApplication::installTranslator(t);
    QCoreApplication::installTranslator(new CatalogGaps(qApp));
    translator = t;
    return true;
}

void setStarEcho(QLineEdit* edit) {
    static StarEchoStyle* style = nullptr;
    if (!style) {
        style = new StarEchoStyle;
        style->setParent(qApp);
    }
    edit->setStyle(style);
    edit->setEchoMode(QLineEdit::Password);
}

} // namespace tv

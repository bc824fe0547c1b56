// What the program sets up for every window: the designed fonts, Qt's Chinese texts, star
// echo in password fields, and Yes/No boxes that must be answered.
#include "config/dlsz.h"
#include "platform/gui/Appearance.h"
#include "platform/gui/GuiDialogs.h"
#include "platform/gui/GuiMessageBoxes.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

const QString kCjk = QStringLiteral("WenQuanYi Micro Hei");

QFont cjkFont(int pixels, bool bold) {
    QFont f(kCjk);
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// Runs check on the modal box that code opens next, once it shows.
void onNextModal(std::function<void(QWidget*)> check) {
    QTimer::singleShot(0, [check] {
        QWidget* box = QApplication::activeModalWidget();
        QVERIFY(box);
        check(box);
    });
}

} // namespace

class TestAppearance : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        tv::loadDesignedFonts();
        QVERIFY(tv::loadQtTranslations());
    }

    void latinTextInTahoma_data() {
        QTest::addColumn<int>("pixels");
        QTest::addColumn<bool>("bold");
        QTest::newRow("window 19") << 19 << false;
        QTest::newRow("fields 27 bold") << 27 << true;
        QTest::newRow("dialogs 12") << 12 << false;
    }
    void latinTextInTahoma() {
        QFETCH(int, pixels);
        QFETCH(bool, bold);
        const QFont f = tv::designedFont(QStringLiteral("Tahoma"), pixels, bold);
        const QFontInfo info(f);
        QCOMPARE(info.family(), QStringLiteral("Tahoma"));
        QCOMPARE(info.pixelSize(), pixels);
        QCOMPARE(info.bold(), bold);
        // Not the bare fallback, which is far wider.
        QFont dejaVu(QStringLiteral("DejaVu Sans"));
        dejaVu.setPixelSize(pixels);
        dejaVu.setBold(bold);
        const QString waybill = QStringLiteral("880000000001");
        QVERIFY(QFontMetrics(f).horizontalAdvance(waybill) <
                QFontMetrics(dejaVu).horizontalAdvance(waybill));
    }

    void chineseTextInMicroHei_data() {
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("pixels");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<QString>("text");
        QTest::newRow("微软雅黑 label") << u"微软雅黑"_qs << 20 << false << u"重量（千克）："_qs;
        QTest::newRow("Tahoma field falls back")
            << u"Tahoma"_qs << 27 << true << u"电子秤未连接"_qs;
        QTest::newRow("Tahoma window falls back")
            << u"Tahoma"_qs << 19 << false << u"替换打包出库"_qs;
    }
    void chineseTextInMicroHei() {
        QFETCH(QString, family);
        QFETCH(int, pixels);
        QFETCH(bool, bold);
        QFETCH(QString, text);
        const QFont f = tv::designedFont(family, pixels, bold);
        QCOMPARE(QFontMetrics(f).horizontalAdvance(text),
                 QFontMetrics(cjkFont(pixels, bold)).horizontalAdvance(text));
    }

    void namedFamiliesAreSubstituted() {
        // A widget that names the designed family itself still draws CJK in the CJK font.
        QFont f(QStringLiteral("微软雅黑"));
        f.setPixelSize(20);
        const QString text = QStringLiteral("请扫描快递单：");
        QCOMPARE(QFontMetrics(f).horizontalAdvance(text),
                 QFontMetrics(cjkFont(20, false)).horizontalAdvance(text));
        QCOMPARE(QFontInfo(QApplication::font()).family(), QStringLiteral("Tahoma"));
        QCOMPARE(QApplication::font().pixelSize(), 12);
    }

    void standardButtonsSpeakChinese() {
        QMessageBox box(QMessageBox::NoIcon, u"t"_qs, u"x"_qs,
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok | QMessageBox::Cancel);
        for (auto b : {QMessageBox::Yes, QMessageBox::No, QMessageBox::Ok, QMessageBox::Cancel}) {
            const QString text = box.button(b)->text();
            QVERIFY2(!text.isEmpty() && text.front().unicode() >= 0x4E00, qPrintable(text));
        }
        QCOMPARE(box.button(QMessageBox::Yes)->text().left(1), u"是"_qs);
        QCOMPARE(box.button(QMessageBox::No)->text().left(1), u"否"_qs);
    }

    void saveDialogSpeaksChineseAndShowsTheMask() {
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        tv::SaveFileRequest request;
        request.fileName = u"default"_qs;
        request.filter = u"*.xls"_qs;
        request.defaultSuffix = u".xls"_qs;
        tv::prepareSaveDialog(dialog, request);
        QCOMPARE(dialog.defaultSuffix(), u"xls"_qs);
        QCOMPARE(dialog.nameFilters(), QStringList{u"*.xls"_qs});
        auto* types = dialog.findChild<QComboBox*>(u"fileTypeCombo"_qs);
        QVERIFY(types);
        QCOMPARE(types->currentText(), u"*.xls"_qs);
        auto* buttons = dialog.findChild<QDialogButtonBox*>();
        QVERIFY(buttons);
        QStringList captions;
        for (QAbstractButton* b : buttons->buttons())
            captions.append(b->text());
        QVERIFY2(captions.contains(u"保存(&S)"_qs) && captions.contains(u"取消"_qs),
                 qPrintable(captions.join(u'|')));
        QCOMPARE(dialog.windowTitle(), u"另存为"_qs);
        // The type column of a folder, which Qt's own catalog leaves in English.
        QCOMPARE(QAbstractFileIconProvider().type(QFileInfo(QDir::tempPath())), u"文件夹"_qs);
        auto* name = dialog.findChild<QLineEdit*>(u"fileNameEdit"_qs);
        QVERIFY(name);
        QCOMPARE(name->text(), u"default"_qs);
    }

    void passwordFieldsEchoStars() {
        TDlszDlg dialog(nullptr, nullptr);
        for (QLineEdit* e : {dialog.Edit4, dialog.Edit5}) {
            e->setText(u"pa;ss"_qs);
            QCOMPARE(e->displayText(), u"*****"_qs);
            QCOMPARE(e->text(), u"pa;ss"_qs);
        }
        dialog.Edit1->setText(u"host"_qs);
        QCOMPARE(dialog.Edit1->displayText(), u"host"_qs);
    }

    void yesNoBoxMustBeAnswered_data() {
        QTest::addColumn<QMessageBox::StandardButton>("press");
        QTest::addColumn<bool>("answer");
        QTest::newRow("Yes") << QMessageBox::Yes << true;
        QTest::newRow("No") << QMessageBox::No << false;
    }
    void yesNoBoxMustBeAnswered() {
        QFETCH(QMessageBox::StandardButton, press);
        QFETCH(bool, answer);
        tv::GuiMessageBoxes boxes;
        bool stayed = false;
        onNextModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            QVERIFY(box);
            QCOMPARE(box->windowTitle(), tv::kApplicationTitle);
            QTest::keyClick(box, Qt::Key_Escape);
            box->close();
            QCoreApplication::processEvents();
            stayed = box->isVisible();
            box->button(press)->click();
        });
        QCOMPARE(boxes.question(u"扫描后不立即完成?"_qs), answer);
        QVERIFY(stayed);
    }
};

QTEST_MAIN(TestAppearance)
#include "tst_appearance_gui.moc"

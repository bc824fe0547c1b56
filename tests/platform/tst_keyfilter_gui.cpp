// The key filter shared by the weight fields and the rule editor's edits.
#include "platform/gui/KeyFilter.h"

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using namespace tv;

Q_DECLARE_METATYPE(tv::KeyRoute)

class TestKeyFilter : public QObject {
    Q_OBJECT

private slots:
    void routes_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("text");
        QTest::addColumn<KeyRoute>("inWindow");
        QTest::addColumn<KeyRoute>("inDialog");
        const int none = Qt::NoModifier;
        QTest::newRow("digit") << int(Qt::Key_5) << none << "5" << KeyRoute::Rule << KeyRoute::Rule;
        QTest::newRow("letter") << int(Qt::Key_A) << none << "a" << KeyRoute::Rule
                                << KeyRoute::Rule;
        QTest::newRow("shifted plus") << int(Qt::Key_Plus) << int(Qt::ShiftModifier) << "+"
                                      << KeyRoute::Rule << KeyRoute::Rule;
        QTest::newRow("keypad digit")
            << int(Qt::Key_7) << int(Qt::KeypadModifier) << "7" << KeyRoute::Rule << KeyRoute::Rule;
        QTest::newRow("backspace with its character")
            << int(Qt::Key_Backspace) << none << "\b" << KeyRoute::Field << KeyRoute::Field;
        QTest::newRow("return") << int(Qt::Key_Return) << none << "\r" << KeyRoute::Dropped
                                << KeyRoute::Field;
        QTest::newRow("keypad enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << "\r"
                                      << KeyRoute::Dropped << KeyRoute::Field;
        QTest::newRow("escape") << int(Qt::Key_Escape) << none << "\x1b" << KeyRoute::Rule
                                << KeyRoute::Field;
        QTest::newRow("arrow types nothing")
            << int(Qt::Key_Left) << none << "" << KeyRoute::Field << KeyRoute::Field;
        QTest::newRow("paste shortcut") << int(Qt::Key_V) << int(Qt::ControlModifier) << "\x16"
                                        << KeyRoute::Field << KeyRoute::Field;
        QTest::newRow("alt with a digit")
            << int(Qt::Key_1) << int(Qt::AltModifier) << "1" << KeyRoute::Field << KeyRoute::Field;
        QTest::newRow("two characters at once")
            << int(Qt::Key_unknown) << none << "12" << KeyRoute::Rule << KeyRoute::Rule;
    }
    void routes() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, text);
        QFETCH(KeyRoute, inWindow);
        QFETCH(KeyRoute, inDialog);
        const auto mods = Qt::KeyboardModifiers(modifiers);
        QCOMPARE(routeKey(key, mods, text, false), inWindow);
        QCOMPARE(routeKey(key, mods, text, true), inDialog);
    }

    // Typed into real edits: the rule sees each character with the field's text, a dropped
    // character never reaches the field, and an edit not watched is left alone.
    void typing_data() {
        QTest::addColumn<bool>("dialogKeys");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("enter"); // Enter pressed after the typing
        QTest::addColumn<QString>("watched");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("window: digits pass, letters drop")
            << false << "1a2b3" << false << "123" << false;
        QTest::newRow("window: enter dropped") << false << "12" << true << "12" << false;
        QTest::newRow("dialog: enter reaches the default button")
            << true << "12" << true << "12" << true;
        QTest::newRow("rule sees the text: one point")
            << true << "1.2.3" << false << "1.23" << false;
    }
    void typing() {
        QFETCH(bool, dialogKeys);
        QFETCH(QString, typed);
        QFETCH(bool, enter);
        QFETCH(QString, watched);
        QFETCH(bool, accepted);
        QDialog dialog;
        auto* layout = new QVBoxLayout(&dialog);
        auto* field = new QLineEdit(&dialog);
        auto* other = new QLineEdit(&dialog);
        auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
        ok->setDefault(true);
        connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
        for (QWidget* w : {static_cast<QWidget*>(field), static_cast<QWidget*>(other),
                           static_cast<QWidget*>(ok)})
            layout->addWidget(w);
        auto* keys = new KeyFilter(&dialog, dialogKeys);
        QStringList seen;
        keys->watch(field, [&](QLineEdit* f, const QString& t) {
            seen.append(f->text() + u'+' + t);
            const QChar c = t.front();
            if (c == u'.')
                return f->text().contains(u'.');
            return !(c >= u'0' && c <= u'9');
        });
        dialog.show();
        QSignalSpy done(&dialog, &QDialog::accepted);
        QTest::keyClicks(field, typed);
        if (enter)
            QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(field->text(), watched);
        QCOMPARE(done.size(), accepted ? 1 : 0);
        QCOMPARE(seen.first(), QStringLiteral("+") + typed.front());
        QTest::keyClicks(other, QStringLiteral("a.b"));
        QCOMPARE(other->text(), QStringLiteral("a.b"));
    }
};

QTEST_MAIN(TestKeyFilter)
#include "tst_keyfilter_gui.moc"

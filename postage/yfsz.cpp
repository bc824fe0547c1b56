#include "postage/yfsz.h"

#include "platform/Database.h"
#include "platform/Messages.h"
#include "platform/gui/DialogChrome.h"
#include "platform/gui/GuiDialogs.h"
#include "platform/gui/HandlerGuard.h"
#include "postage/RuleStore.h"
#include "postage/bjgz.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>

namespace {

// Lines made but not yet in the list; a failed load must not leak them.
struct PendingLines {
    QList<QTreeWidgetItem*> items;
    ~PendingLines() { qDeleteAll(items); }
    void moveTo(QTreeWidget* list) {
        list->addTopLevelItems(items);
        items.clear();
    }
};

QTreeWidgetItem* ruleLine(int number, const QString& method, const QString& provinces,
                          qint32 largestEnd) {
    auto* item = new QTreeWidgetItem(
        QStringList{QString::number(number), method, provinces,
                    QStringLiteral("0~") + QString::number(largestEnd) + QStringLiteral("克")});
    for (int c = 1; c < 4; ++c)
        item->setTextAlignment(c, Qt::AlignCenter);
    return item;
}

} // namespace

TYfszDlg::TYfszDlg(QWidget* parent, tv::Connection* configConnection, TBjgzDlg* addEditor,
                   TBjgzDlg* modifyEditor)
    : QDialog(parent)
    , m_config(configConnection)
    , m_addEditor(addEditor)
    , m_modifyEditor(modifyEditor) {
    Button1 = new QPushButton(QStringLiteral("添加规则"), this);
    Button1->setGeometry(8, 8, 90, 28);
    Button2 = new QPushButton(QStringLiteral("修改规则"), this);
    Button2->setGeometry(104, 8, 90, 28);
    Button3 = new QPushButton(QStringLiteral("删除规则"), this);
    Button3->setGeometry(200, 8, 90, 28);
    Bevel1 = new QFrame(this);
    Bevel1->setFrameShape(QFrame::StyledPanel);
    Bevel1->setGeometry(8, 44, 644, 380);
    ListView1 = new QTreeWidget(this);
    ListView1->setGeometry(12, 48, 636, 372);
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setHeaderLabels({QStringLiteral("规则"), QStringLiteral("物流"),
                                QStringLiteral("运送到"), QStringLiteral("重量区间")});
    const int widths[] = {40, 70, 400, 95};
    for (int c = 0; c < 4; ++c) {
        ListView1->setColumnWidth(c, widths[c]);
        if (c > 0)
            ListView1->headerItem()->setTextAlignment(c, Qt::AlignCenter);
    }
    ListView1->header()->setStretchLastSection(false);
    OKBtn =
        tv::setUpDialog(*this, QStringLiteral("运费设置"), {660, 469}, tv::DialogButtonSet::OkOnly)
            .ok;
    OKBtn->setGeometry(572, 433, 80, 28);

    connect(Button1, &QPushButton::clicked, this, &TYfszDlg::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TYfszDlg::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TYfszDlg::Button3Click);
    connect(ListView1, &QTreeWidget::itemDoubleClicked, this, &TYfszDlg::Button2Click);

    if (const QScreen* s = screen()) {
        QRect r(QPoint(0, 0), frameGeometry().size());
        r.moveCenter(s->availableGeometry().center());
        move(r.topLeft());
    }

    tv::guarded([&] { LoadRuleList(); });
}

void TYfszDlg::setEditors(TBjgzDlg* addEditor, TBjgzDlg* modifyEditor) {
    m_addEditor = addEditor;
    m_modifyEditor = modifyEditor;
}

void TYfszDlg::setCommandsEnabled(bool enabled) {
    for (QPushButton* b : {Button1, Button2, Button3, OKBtn})
        b->setEnabled(enabled);
}

void TYfszDlg::LoadRuleList() {
    // Event passes inside a load can deliver a command or another load; they must not
    // rebuild the list under the running one.
    if (m_loading) {
        m_reloadPending = true;
        return;
    }
    if (!m_config || !m_config->isOpen())
        return;
    m_loading = true;
    setCommandsEnabled(false);
    auto finish = [this] {
        m_loading = false;
        m_reloadPending = false;
        setCommandsEnabled(true);
        if (m_donePending) {
            m_donePending = false;
            QDialog::done(m_pendingResult);
        }
    };
    try {
        do {
            m_reloadPending = false;
            loadOnce();
        } while (m_reloadPending);
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

void TYfszDlg::loadOnce() {
    ListView1->clear();
    const QList<tv::RuleLine> lines = tv::GroupRuleLines(tv::ListRuleRows(*m_config));
    PendingLines pending;
    QElapsedTimer sincePass;
    sincePass.start();
    for (qsizetype k = 0; k < lines.size(); ++k) {
        pending.items.append(
            ruleLine(int(k + 1), lines[k].method, lines[k].provinces, lines[k].largestEnd));
        // An event pass now and then keeps the window responsive without the cost of one
        // per line; the lines made so far are shown first.
        if (sincePass.elapsed() >= m_passIntervalMs) {
            pending.moveTo(ListView1);
            QCoreApplication::processEvents();
            sincePass.restart();
            if (m_reloadPending)
                return;
        }
    }
    pending.moveTo(ListView1);
}

void TYfszDlg::done(int result) {
    if (m_loading) {
        m_donePending = true;
        m_pendingResult = result;
        return;
    }
    QDialog::done(result);
}

bool TYfszDlg::saveEditor(TBjgzDlg& editor) {
    if (!m_config)
        throw tv::Error(QStringLiteral("The database is not connected."));
    return tv::SaveRuleDraft(*m_config, editor.draft());
}

void TYfszDlg::runEditor(TBjgzDlg& editor, const QString& failed, const QString& saved) {
    if (tv::showModal(editor) != QDialog::Accepted)
        return;
    if (!saveEditor(editor)) {
        tv::messageBoxes().information(failed);
        return;
    }
    tv::messageBoxes().information(saved);
    editor.ClearAll();
    LoadRuleList();
}

bool TYfszDlg::focusedRule(QString& method, QString& firstProvince) {
    const QTreeWidgetItem* line = ListView1->currentItem();
    if (!line) {
        tv::messageBoxes().information(QStringLiteral("请选择规则!"));
        return false;
    }
    method = line->text(1);
    const QString provinces = line->text(2);
    const qsizetype end = provinces.indexOf(u';');
    firstProvince = end < 0 ? QString() : provinces.left(end);
    return true;
}

void TYfszDlg::Button1Click() {
    tv::guarded([&] {
        if (m_loading || !m_addEditor)
            return;
        runEditor(*m_addEditor, QStringLiteral("规则添加失败，请检查字段!"),
                  QStringLiteral("规则添加成功!"));
    });
}

void TYfszDlg::Button2Click() {
    tv::guarded([&] {
        if (m_loading || !m_modifyEditor)
            return;
        QString method;
        QString firstProvince;
        if (!focusedRule(method, firstProvince))
            return;
        if (!m_config)
            throw tv::Error(QStringLiteral("The database is not connected."));
        TBjgzDlg& editor = *m_modifyEditor;
        editor.setDraft(tv::LoadRuleDraft(*m_config, method, firstProvince));
        runEditor(editor, QStringLiteral("规则修改失败，请检查字段!"),
                  QStringLiteral("规则修改成功!"));
    });
}

void TYfszDlg::Button3Click() {
    tv::guarded([&] {
        if (m_loading || !m_config)
            return;
        QString method;
        QString firstProvince;
        if (!focusedRule(method, firstProvince))
            return;
        tv::DeleteRule(*m_config, tv::FindRuleIndex(*m_config, method, firstProvince));
        LoadRuleList();
    });
}

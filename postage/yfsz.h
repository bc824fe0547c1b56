#pragma once

#include <QDialog>

class QFrame;
class QPushButton;
class QTreeWidget;
class TBjgzDlg;

namespace tv {
class Connection;
}

// The postage rules list: one line per rule, with the add, modify and delete commands.
class TYfszDlg : public QDialog {
    Q_OBJECT
public:
    // Loads the list once when the configuration connection is open. The editors may be
    // handed over later through setEditors.
    TYfszDlg(QWidget* parent, tv::Connection* configConnection, TBjgzDlg* addEditor = nullptr,
             TBjgzDlg* modifyEditor = nullptr);

    void setEditors(TBjgzDlg* addEditor, TBjgzDlg* modifyEditor);

    // Rebuilds ListView1 from the rule table. While it runs, the commands are refused and
    // a close waits for its end; a reload asked for meanwhile follows once it ends.
    void LoadRuleList();
    bool isLoading() const { return m_loading; }
    // Longest stretch of a load between two event passes, in ms (0: after every row).
    void setEventPassInterval(int ms) { m_passIntervalMs = ms; }

    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* Button3;
    QPushButton* OKBtn;
    QTreeWidget* ListView1;
    QFrame* Bevel1;

public slots:
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void done(int result) override;

private:
    void loadOnce();
    void setCommandsEnabled(bool enabled);
    // Saves the editor's content; false when it fails the check (nothing written then).
    bool saveEditor(TBjgzDlg& editor);
    // Shows the editor; after OK saves its content and reports, then empties it and reloads.
    void runEditor(TBjgzDlg& editor, const QString& failed, const QString& saved);
    // The focused line's method and first province; false (and the message) when none.
    bool focusedRule(QString& method, QString& firstProvince);

    tv::Connection* m_config;
    TBjgzDlg* m_addEditor = nullptr;
    TBjgzDlg* m_modifyEditor = nullptr;
    int m_passIntervalMs = 30;
    bool m_loading = false;
    bool m_reloadPending = false;
    bool m_donePending = false;
    int m_pendingResult = 0;
};

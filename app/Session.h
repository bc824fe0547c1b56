#pragma once

#include "config/ConfigDb.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace tv {

class Connection;

// What start-up finds: both databases opened, the settings row read once, the lists and the
// column choice read, and the messages the window shows. The window only fills its controls.
class Session {
public:
    // Opens the configuration database of the folder and, from its login, the order database.
    // A failed open is a message, not an error; any other failure (a missing column, a missing
    // table) throws tv::Error and leaves the rest unread.
    static Session open(Connection& config, Connection& orders, const QString& folder);

    bool configOpen = false;
    bool ordersOpen = false;
    // Read only when the configuration database opened.
    Settings settings;
    QList<bool> columnChoice;
    // The operator lists: the empty entry, the pseudo-operator, the staff names. The shop and
    // method lists: the empty entry, then the names. All empty without the order database.
    QStringList operators;
    QStringList shops;
    QStringList sndStyles;
    // The messages to show, in order.
    QStringList messages;

    // The options are restored only when both databases are open.
    bool restoresOptions() const { return configOpen && ordersOpen; }
    // The entry of `operators` equal to the remembered operator (exact, case-sensitive); -1
    // when none is.
    int rememberedOperator() const;
};

} // namespace tv

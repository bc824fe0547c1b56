#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace tv {

// The provinces a postage rule can name, in the editor's list order; the rule table stores
// exactly these texts.
const QStringList& provinceNames();

struct Region {
    QString name;
    QStringList provinces;
};

// The regions of the province picker, in list order, with the provinces each one sets.
const QList<Region>& regions();

} // namespace tv

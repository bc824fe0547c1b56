#pragma once

#include "postage/bjgz.h"

// The rule editor of the modify command: the same window under the caption "修改规则".
class TBjgzDlg1 : public TBjgzDlg {
    Q_OBJECT
public:
    TBjgzDlg1(QWidget* parent, tv::Connection* orderConnection);
};

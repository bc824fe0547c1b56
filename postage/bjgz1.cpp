#include "postage/bjgz1.h"

TBjgzDlg1::TBjgzDlg1(QWidget* parent, tv::Connection* orderConnection)
    : TBjgzDlg(parent, orderConnection) {
    setWindowTitle(QStringLiteral("修改规则"));
}

#include "ui/checkrow.h"

#include <QCheckBox>

namespace {
// In the order the form made them, which is the order they are shown in.
QList<QCheckBox *> boxes(const QWidget *row)
{
    return row->findChildren<QCheckBox *>(QString(), Qt::FindDirectChildrenOnly);
}
} // namespace

quint8 CheckRow::checked(const QWidget *row)
{
    quint8 bits = 0;
    const QList<QCheckBox *> row_ = boxes(row);
    for (int i = 0; i < row_.size() && i < 8; ++i)
        bits |= row_[i]->isChecked() ? quint8(1 << i) : 0;
    return bits;
}

void CheckRow::setChecked(QWidget *row, quint8 bits)
{
    const QList<QCheckBox *> row_ = boxes(row);
    for (int i = 0; i < row_.size() && i < 8; ++i)
        row_[i]->setChecked(bits & (1 << i));
}

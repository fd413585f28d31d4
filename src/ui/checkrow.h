#pragma once

#include <QtGlobal>

class QWidget;

// A row of check boxes read and set as bits, in the row's order: bit 0 is the first box.
namespace CheckRow {

quint8 checked(const QWidget *row);
void setChecked(QWidget *row, quint8 bits);

} // namespace CheckRow

#include "ui/uppercaseedit.h"

UpperCaseEdit::UpperCaseEdit(QWidget *parent) : QLineEdit(parent)
{
    // textChanged covers both typing and setText(); the second round finds nothing to change.
    connect(this, &QLineEdit::textChanged, this, [this](const QString &text) {
        const QString upper = text.toUpper();
        if (upper == text)
            return;
        const int cursor = cursorPosition();
        setText(upper);
        setCursorPosition(qMin(cursor, upper.size()));
    });
}

void UpperCaseEdit::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    if (hasSelectedText())
        deselect();
}

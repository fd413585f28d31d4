#pragma once

#include <QLineEdit>

// A line edit that stores and shows every letter as a capital, whether typed or set in code.
class UpperCaseEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit UpperCaseEdit(QWidget *parent = nullptr);

protected:
    // A status line is read, not edited: coming to it by Tab must not select all it says.
    void focusInEvent(QFocusEvent *event) override;
};

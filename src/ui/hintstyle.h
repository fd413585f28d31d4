#pragma once

#include <QProxyStyle>

// Hints appear after the pointer has rested 3 s on a control, as the window's balloons do.
class HintStyle : public QProxyStyle
{
    Q_OBJECT
public:
    using QProxyStyle::QProxyStyle;
    static constexpr int WakeUpDelayMs = 3000;

    int styleHint(StyleHint hint, const QStyleOption *option = nullptr, const QWidget *widget = nullptr,
                  QStyleHintReturn *returnData = nullptr) const override
    {
        if (hint == QStyle::SH_ToolTip_WakeUpDelay)
            return WakeUpDelayMs;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

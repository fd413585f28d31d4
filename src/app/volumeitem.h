#pragma once

#include <QObject>

class QMenu;
class RadioSession;
class TrayIcon;

// The radio's volume in the tray: the wheel over the icon turns it in steps, and the tray menu
// says it and turns it from the keyboard.
class VolumeItem : public QObject
{
    Q_OBJECT
public:
    static constexpr int StepPercent = 5;

    VolumeItem(QMenu *trayMenu, TrayIcon *tray, RadioSession *radio, QObject *parent = nullptr);

    // The volume steps away from volume, on the grid of steps.
    static double stepped(double volume, int steps);

private:
    void show(double volume);

    RadioSession *m_radio;
    QMenu *m_menu;
};

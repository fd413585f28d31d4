#include "app/volumeitem.h"

#include "radio/radiosession.h"
#include "ui/trayicon.h"

#include <QMenu>

#include <cmath>

VolumeItem::VolumeItem(QMenu *trayMenu, TrayIcon *tray, RadioSession *radio, QObject *parent)
    : QObject(parent), m_radio(radio), m_menu(trayMenu->addMenu(QString()))
{
    m_menu->setObjectName(QStringLiteral("VolumeMenu"));
    QAction *louder = m_menu->addAction(tr("Громче"));
    QAction *quieter = m_menu->addAction(tr("Тише"));
    louder->setObjectName(QStringLiteral("LouderItem"));
    quieter->setObjectName(QStringLiteral("QuieterItem"));
    const auto turn = [this](int steps) { m_radio->setVolume(stepped(m_radio->volume(), steps)); };
    connect(louder, &QAction::triggered, this, [turn] { turn(1); });
    connect(quieter, &QAction::triggered, this, [turn] { turn(-1); });
    connect(tray, &TrayIcon::wheeled, this, turn);
    connect(radio, &RadioSession::volumeChanged, this, &VolumeItem::show);
    show(radio->volume());
}

double VolumeItem::stepped(double volume, int steps)
{
    const double percent = std::round(volume * 100 / StepPercent + steps) * StepPercent;
    return std::clamp(percent, 0.0, 100.0) / 100;
}

void VolumeItem::show(double volume)
{
    m_menu->setTitle(tr("Громкость: %1 %").arg(std::lround(volume * 100)));
}

#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGHUP, which arrive when the system or the session ends, into a Qt signal
// delivered on the GUI thread (the handler itself only writes a byte to a pipe).
class TerminationWatcher : public QObject
{
    Q_OBJECT
public:
    explicit TerminationWatcher(QObject *parent = nullptr);
    ~TerminationWatcher() override;

signals:
    void terminationRequested();

private:
    QSocketNotifier *m_notifier = nullptr;
};

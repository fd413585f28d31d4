#pragma once

#include <QDir>
#include <QTemporaryDir>
#include <QtGlobal>

// Private XDG config and runtime folders for one test, so it never reads or writes the user's own.
class TestHome
{
public:
    TestHome()
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("config"));
        QDir(m_dir.path()).mkpath(QStringLiteral("run"));
        QFile::setPermissions(runtime(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_CONFIG_HOME", config().toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", runtime().toLocal8Bit());
    }
    QString path() const { return m_dir.path(); }
    QString config() const { return m_dir.path() + QStringLiteral("/config"); }
    QString runtime() const { return m_dir.path() + QStringLiteral("/run"); }

private:
    QTemporaryDir m_dir;
};

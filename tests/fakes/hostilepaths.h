#pragma once

// Things at a file's path that are not a plain readable file, for the tests of what reads and
// replaces the settings file. Linux only, as the program's file handling is.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

namespace HostilePaths {

enum class Kind
{
    Fifo,
    LinkToFifo,
    Directory,
    Socket,
    Device,    // a link to /dev/null: making a device node would need more than a test has
    Unreadable // a regular file with mode 0200: writable, not readable
};

// Makes kind at path; content goes into the unreadable file.
inline bool make(Kind kind, const QString &path, const QByteArray &content = QByteArray())
{
    const QByteArray native = QFile::encodeName(path);
    switch (kind) {
    case Kind::Fifo:
        return ::mkfifo(native.constData(), 0600) == 0;
    case Kind::LinkToFifo: {
        const QByteArray target = native + ".fifo";
        return ::mkfifo(target.constData(), 0600) == 0 &&
               ::symlink(target.constData(), native.constData()) == 0;
    }
    case Kind::Directory:
        return ::mkdir(native.constData(), 0700) == 0;
    case Kind::Socket: {
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        if (size_t(native.size()) >= sizeof address.sun_path)
            return false;
        memcpy(address.sun_path, native.constData(), size_t(native.size()));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        if (fd >= 0)
            ::close(fd);
        return bound;
    }
    case Kind::Device:
        return ::symlink("/dev/null", native.constData()) == 0;
    case Kind::Unreadable: {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            return false;
        file.close();
        return ::chmod(native.constData(), 0200) == 0;
    }
    }
    return false;
}

// The file type and mode bits at path, following links, with whether it is a link: what a save
// must leave as it was.
inline QString describe(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat link = {};
    struct stat target = {};
    if (::lstat(native.constData(), &link) != 0)
        return QStringLiteral("nothing");
    const bool followed = ::stat(native.constData(), &target) == 0;
    return QStringLiteral("%1 %2 %3")
        .arg(S_ISLNK(link.st_mode) ? QStringLiteral("link to") : QString())
        .arg(followed ? target.st_mode : 0, 0, 8)
        .arg(followed ? qint64(target.st_size) : -1);
}

// While it lives, the calling thread has no capability to read or search past mode bits, so a
// file with mode 0200 is unreadable even to root (tests run as root in CI). Capabilities belong
// to the thread; everything the tests read and write happens on the test's own thread.
class NoReadOverride
{
public:
    NoReadOverride()
    {
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        if (::syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct lowered[2] = {m_saved[0], m_saved[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_lowered = ::syscall(SYS_capset, &m_header, lowered) == 0;
    }
    ~NoReadOverride()
    {
        if (m_lowered)
            ::syscall(SYS_capset, &m_header, m_saved);
    }
    NoReadOverride(const NoReadOverride &) = delete;
    NoReadOverride &operator=(const NoReadOverride &) = delete;

private:
    __user_cap_header_struct m_header = {};
    __user_cap_data_struct m_saved[2] = {};
    bool m_lowered = false;
};

// Whether this thread can open path for reading now.
inline bool readable(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0)
        ::close(fd);
    return fd >= 0;
}

// A reader stuck opening a FIFO is let go after a while (a writer comes, writes content and
// leaves), so a test of that fault fails instead of hanging. fired() tells whether it had to.
class FifoRelease
{
public:
    FifoRelease(const QString &fifo, const QByteArray &content)
    {
        m_thread = std::thread([path = QFile::encodeName(fifo), content, done = m_done.get_future(), this] {
            if (done.wait_for(std::chrono::seconds(2)) == std::future_status::ready)
                return;
            const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0)
                return; // no reader is waiting
            m_fired = true;
            [[maybe_unused]] const ssize_t n = ::write(fd, content.constData(), size_t(content.size()));
            ::close(fd);
        });
    }
    ~FifoRelease()
    {
        m_done.set_value();
        m_thread.join();
    }
    FifoRelease(const FifoRelease &) = delete;
    FifoRelease &operator=(const FifoRelease &) = delete;

    bool fired() const { return m_fired; }

private:
    std::promise<void> m_done;
    std::atomic<bool> m_fired{false};
    std::thread m_thread;
};

} // namespace HostilePaths

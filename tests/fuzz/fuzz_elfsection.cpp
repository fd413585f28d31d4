// The ELF section reader on arbitrary files. The input is written to an in-memory file and read
// back through its path, as the about page reads the executable. The sanitizers watch every read;
// what it returns must be bytes of the file, and the version record parser takes it from there.
#include "about/versionrecord.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>

#include <sys/mman.h>
#include <unistd.h>

namespace {

int memoryFile()
{
    static const int fd = memfd_create("fuzz_elfsection", MFD_CLOEXEC);
    if (fd < 0) {
        std::perror("memfd_create");
        std::abort();
    }
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    // Mostly the program's own section; sometimes a name from the input.
    QByteArray name(VersionRecord::sectionName);
    if (input.ConsumeBool())
        name = QByteArray::fromStdString(input.ConsumeRandomLengthString(24));
    const std::vector<uint8_t> rest = input.ConsumeRemainingBytes<uint8_t>();
    const QByteArray file(reinterpret_cast<const char *>(rest.data()), qsizetype(rest.size()));

    const int fd = memoryFile();
    if (ftruncate(fd, 0) != 0 || pwrite(fd, file.constData(), size_t(file.size()), 0) != file.size()) {
        std::perror("fuzz_elfsection: writing the file");
        std::abort();
    }
    const QString path = QStringLiteral("/proc/self/fd/%1").arg(fd);
    const QByteArray section = VersionRecord::readElfSection(path, name);
    if (!section.isEmpty() && !file.contains(section)) {
        std::fprintf(stderr, "fuzz_elfsection: a section that is not in the file\n");
        std::abort();
    }
    VersionRecord::fileVersion(section);
    return 0;
}

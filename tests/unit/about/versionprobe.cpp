// Linked as the program is: it carries the version record and prints the version text it reads back
// from its own executable file.
#include "about/versionrecord.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::fputs(VersionRecord::getFileVersionText().toUtf8().constData(), stdout);
    return 0;
}

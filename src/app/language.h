#pragma once

#include <QList>
#include <QLocale>
#include <QStringList>

class QCoreApplication;

// The language the interface speaks. The program is written in Russian; its catalogues
// (resources/translations) let it speak another language where the desktop asks for one.
namespace Language {

// The first of the desktop's languages, most wanted first as QLocale::uiLanguages() gives them,
// that the program speaks: Russian, or one of the catalogues' languages. Russian when none is, as
// under C and POSIX, which ask for no language in particular.
QLocale choose(const QStringList &uiLanguages, const QList<QLocale::Language> &catalogues);

// The languages of the catalogues built into the program.
QList<QLocale::Language> catalogues();

// Loads the program's catalogue and Qt's own for the desktop's language (LANGUAGE, LC_ALL,
// LC_MESSAGES, LANG, as Qt reads them) into app, and returns that language.
QLocale install(QCoreApplication *app);

} // namespace Language

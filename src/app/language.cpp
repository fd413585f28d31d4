#include "app/language.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

const QString CataloguePrefix = QStringLiteral("ondavo_");
const QString CatalogueFolder = QStringLiteral(":/i18n");

bool load(QCoreApplication *app, const QLocale &language, const QString &name, const QString &folder)
{
    auto *translator = new QTranslator(app);
    if (!translator->load(language, name, QStringLiteral("_"), folder)) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace

QLocale Language::choose(const QStringList &uiLanguages, const QList<QLocale::Language> &catalogues)
{
    // C, POSIX and unknown names read as the C locale, which asks for no language in particular.
    for (const QString &name : uiLanguages) {
        const QLocale locale(name);
        if (locale.language() == QLocale::Russian || catalogues.contains(locale.language()))
            return locale;
    }
    return QLocale(QLocale::Russian);
}

QList<QLocale::Language> Language::catalogues()
{
    QList<QLocale::Language> languages;
    const QStringList files = QDir(CatalogueFolder).entryList({CataloguePrefix + QStringLiteral("*.qm")});
    for (const QString &file : files)
        languages << QLocale(file.mid(CataloguePrefix.size()).chopped(3)).language();
    return languages;
}

QLocale Language::install(QCoreApplication *app)
{
    const QLocale language = choose(QLocale::system().uiLanguages(), catalogues());
    // Qt's own words (edit menus, dialog buttons, the web panes' menus) in the same language.
    const QString qtFolder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const QString &name : {QStringLiteral("qtbase"), QStringLiteral("qtwebengine")})
        load(app, language, name, qtFolder);
    if (language.language() != QLocale::Russian)
        load(app, language, CataloguePrefix.chopped(1), CatalogueFolder);
    return language;
}

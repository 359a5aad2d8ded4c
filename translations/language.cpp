#include "language.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace kelmar {

std::optional<Language> languageNamed(const QString &name)
{
    const QString n = name.trimmed().toLower();
    const auto is = [&n](const QString &code) {
        return n == code || n.startsWith(code + u'_') || n.startsWith(code + u'-');
    };
    if (is(QStringLiteral("zh")))
        return Language::Chinese;
    if (is(QStringLiteral("en")))
        return Language::English;
    return std::nullopt;
}

Language languageOf(const QLocale &system)
{
    switch (system.language()) {
    case QLocale::Chinese:
    case QLocale::C:
    case QLocale::AnyLanguage:
        return Language::Chinese;
    default:
        return Language::English;
    }
}

int languageOption(const QStringList &args, int i, QString *value)
{
    const QString &a = args.at(i);
    if (a.startsWith(u"--lang=")) {
        *value = a.mid(7);
        return 1;
    }
    if (a != u"--lang")
        return 0;
    *value = i + 1 < args.size() ? args.at(i + 1) : QString();
    return i + 1 < args.size() ? 2 : 1;
}

Language languageFor(const QString &option, const QLocale &system)
{
    if (const std::optional<Language> named = languageNamed(option))
        return *named;
    return languageOf(system);
}

namespace {

bool installCatalogue(const QString &name, const QStringList &folders)
{
    auto *translator = new QTranslator(QCoreApplication::instance());
    for (const QString &folder : folders) {
        if (translator->load(name, folder) && QCoreApplication::installTranslator(translator))
            return true;
    }
    delete translator;
    return false;
}

} // namespace

bool installLanguage(Language language)
{
    if (!QCoreApplication::instance())
        return false;
    // Qt's catalogues: beside the program first (the Windows setup puts them
    // there), then Qt's own folder (Debian's qt6-translations-l10n).
    const QStringList qtFolders = {
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations")),
        QLibraryInfo::path(QLibraryInfo::TranslationsPath),
    };
    if (language == Language::Chinese) {
        installCatalogue(QStringLiteral("qtbase_zh_TW"), qtFolders);
        return true;
    }
    // English is Qt's own source language: its texts need no catalogue.
    return installCatalogue(QStringLiteral("kelmar_t_en"), {QStringLiteral(":/kelmar/i18n")});
}

} // namespace kelmar

#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

#include <optional>

namespace kelmar {

// The interface's languages. Traditional Chinese is the source text of every
// caption, so it needs no catalogue of ours; English is a catalogue.
enum class Language { Chinese, English };

// A --lang value: "zh_TW", "en", or any name of those languages ("zh", "en_US").
std::optional<Language> languageNamed(const QString &name);

// The system's language as the interface takes it: Chinese for a Chinese
// system and for the C/POSIX locale (as the program always was), English for
// any other, since an operator who does not read Chinese reads English sooner.
Language languageOf(const QLocale &system);

// "--lang VALUE" or "--lang=VALUE" at args[i]: the number of arguments it
// takes (0 when args[i] is not --lang), its value in *value (empty when missing).
int languageOption(const QStringList &args, int i, QString *value);

// The language a --lang value names, or the system's when it is empty.
Language languageFor(const QString &option, const QLocale &system = QLocale::system());

// Installs the program's catalogue and Qt's own (dialog buttons, file
// dialogs) for the language on the running application. Returns false when
// the program's catalogue was not found; Qt's is taken where it exists.
bool installLanguage(Language language);

} // namespace kelmar

#include "commandline.h"

#include "language.h"

#include <QCoreApplication>

namespace kelmar {


CommandLine parseCommandLine(const QStringList &args)
{
    CommandLine c;
    const bool service = args.contains(QStringLiteral("--service"));
    bool noRecord = false;
    bool help = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a == u"--help" || a == u"-h" || a == u"-?") {
            // Read on: --lang may follow, for the usage's language.
            help = true;
            continue;
        }
        if (a == u"--service") {
            // The folder is optional: the next argument, unless it is an option.
            if (i + 1 < args.size() && !args.at(i + 1).startsWith(u'-'))
                c.programDir = args.at(++i);
            continue;
        }
        if (a == u"--no-record") {
            noRecord = true;
            continue;
        }
        QString lang;
        if (const int taken = languageOption(args, i, &lang)) {
            if (!languageNamed(lang)) {
                c.mode = CommandLine::Mode::Refused;
                c.refused = taken == 2 ? a + u' ' + lang : a;
                return c;
            }
            c.language = lang;
            i += taken - 1;
            continue;
        }
        if (!service || help) {
            // Anything else in the windows mode is Qt's to judge (-platform,
            // -style, ...), so it is left to the application object.
            continue;
        }
        c.mode = CommandLine::Mode::Refused;
        c.refused = a;
        return c;
    }
    if (help) {
        c.mode = CommandLine::Mode::Help;
        return c;
    }
    if (noRecord && !service) {
        c.mode = CommandLine::Mode::Refused;
        c.refused = QStringLiteral("--no-record");
        return c;
    }
    c.mode = service ? CommandLine::Mode::Service : CommandLine::Mode::Windows;
    c.record = !noRecord;
    return c;
}

QList<int> argumentsForQt(const QStringList &args)
{
    QList<int> out;
    for (int i = 0; i < args.size(); ++i) {
        QString lang;
        if (const int taken = languageOption(args, i, &lang))
            i += taken - 1;
        else
            out << i;
    }
    return out;
}

QString usageText()
{
    return QCoreApplication::translate(
        "kelmar::CommandLine",
        "用法 (usage):\n"
        "  Kelmar_T [--lang LANGUAGE]       視窗 (the windows)\n"
        "  Kelmar_T --service [FOLDER] [--no-record] [--lang LANGUAGE]\n"
        "      不開視窗：依 FOLDER (預設為程式資料夾) 的 setup.ini、meters.ini、publish.ini\n"
        "      連線、輪詢、記錄並發佈；訊息寫到標準錯誤輸出\n"
        "      (no window: connects, polls, records and publishes as setup.ini, meters.ini\n"
        "      and publish.ini in FOLDER say, the program's own folder by default;\n"
        "      notices go to standard error. SIGTERM or SIGINT ends it, SIGHUP reads\n"
        "      meters.ini and publish.ini again)\n"
        "      --no-record   不寫記錄檔 (no record files)\n"
        "  --lang zh_TW | en  介面語言，預設依系統語言 (the interface's language;\n"
        "      the system's by default)\n"
        "  Kelmar_T --help                  本說明 (this text)\n");
}

QString refusalText(const QString &argument)
{
    return QCoreApplication::translate("kelmar::CommandLine",
                                       "無法辨識的參數 (unknown argument): %1")
               .arg(argument)
           + QStringLiteral("\n\n") + usageText();
}

} // namespace kelmar

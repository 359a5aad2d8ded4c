#include "commandline.h"

namespace kelmar {

CommandLine parseCommandLine(const QStringList &args)
{
    CommandLine c;
    const bool service = args.contains(QStringLiteral("--service"));
    bool noRecord = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a == u"--help" || a == u"-h" || a == u"-?") {
            c.mode = CommandLine::Mode::Help;
            return c;
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
        if (!service) {
            // Anything else in the windows mode is Qt's to judge (-platform,
            // -style, ...), so it is left to the application object.
            continue;
        }
        c.mode = CommandLine::Mode::Refused;
        c.refused = a;
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

QString usageText()
{
    return QStringLiteral(
        "用法 (usage):\n"
        "  Kelmar_T                         視窗 (the windows)\n"
        "  Kelmar_T --service [FOLDER] [--no-record]\n"
        "      不開視窗：依 FOLDER (預設為程式資料夾) 的 setup.ini、meters.ini、publish.ini\n"
        "      連線、輪詢、記錄並發佈；訊息寫到標準錯誤輸出\n"
        "      (no window: connects, polls, records and publishes as setup.ini, meters.ini\n"
        "      and publish.ini in FOLDER say, the program's own folder by default;\n"
        "      notices go to standard error. SIGTERM or SIGINT ends it, SIGHUP reads\n"
        "      meters.ini and publish.ini again)\n"
        "      --no-record   不寫記錄檔 (no record files)\n"
        "  Kelmar_T --help                  本說明 (this text)\n");
}

} // namespace kelmar

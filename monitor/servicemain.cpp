// The service program: Kelmar_T's service mode in a program that links
// neither Qt Gui nor the widgets, so that a station without a display loads
// none of their libraries. Kelmar_T --service hands over to it; it takes
// the same command line.

#include "commandline.h"
#include "service.h"

#include <QStringList>
#include <cstdio>

int main(int argc, char *argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const kelmar::CommandLine c = kelmar::parseCommandLine(args);
    if (c.mode == kelmar::CommandLine::Mode::Service)
        return kelmar::runService(argc, argv, c);
    const QByteArray usage = kelmar::usageText().toUtf8();
    if (c.mode == kelmar::CommandLine::Mode::Help) {
        std::fputs(usage.constData(), stdout);
        return 0;
    }
    // The windows are Kelmar_T's: without --service nothing here applies.
    if (args.isEmpty())
        std::fputs(usage.constData(), stderr);
    else
        std::fprintf(stderr, "無法辨識的參數 (unknown argument): %s\n\n%s",
                     (c.refused.isEmpty() ? args.first() : c.refused).toLocal8Bit().constData(),
                     usage.constData());
    return 2;
}

// The service program: Kelmar_T's service mode in a program that links
// neither Qt Gui nor the widgets, so that a station without a display loads
// none of their libraries. Kelmar_T --service hands over to it; it takes
// the same command line.

#include "commandline.h"
#include "language.h"
#include "service.h"

#include <QCoreApplication>
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
    // An application object (without a display) for the catalogues.
    QCoreApplication app(argc, argv);
    kelmar::installLanguage(kelmar::languageFor(c.language));
    if (c.mode == kelmar::CommandLine::Mode::Help) {
        std::fputs(kelmar::usageText().toUtf8().constData(), stdout);
        return 0;
    }
    // The windows are Kelmar_T's: without --service nothing here applies.
    if (args.isEmpty())
        std::fputs(kelmar::usageText().toUtf8().constData(), stderr);
    else
        std::fputs(kelmar::refusalText(c.refused.isEmpty() ? args.first() : c.refused)
                       .toLocal8Bit()
                       .constData(),
                   stderr);
    return 2;
}

#include "clock.h"
#include "commandline.h"
#include "fonts.h"
#include "form1.h"
#include "language.h"
#include "service.h"
#include "station.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <cstdio>
#include <vector>


namespace {

QStringList arguments(int argc, char *argv[])
{
    QStringList out;
    for (int i = 1; i < argc; ++i)
        out << QString::fromLocal8Bit(argv[i]);
    return out;
}

} // namespace

int main(int argc, char *argv[])
{
    const QStringList args = arguments(argc, argv);
    const kelmar::CommandLine c = kelmar::parseCommandLine(args);
    switch (c.mode) {
    case kelmar::CommandLine::Mode::Help: {
        // An application object (without a display) for the catalogues.
        QCoreApplication app(argc, argv);
        kelmar::installLanguage(kelmar::languageFor(c.language));
        std::fputs(kelmar::usageText().toUtf8().constData(), stdout);
        return 0;
    }
    case kelmar::CommandLine::Mode::Refused: {
        QCoreApplication app(argc, argv);
        kelmar::installLanguage(kelmar::languageFor(c.language));
        std::fputs(kelmar::refusalText(c.refused).toLocal8Bit().constData(), stderr);
        return 2;
    }
    case kelmar::CommandLine::Mode::Service:
        // The service program loads no Qt Gui or widgets; without it the
        // service runs here.
        kelmar::execServiceProgram(argv);
        return kelmar::runService(argc, argv, c);
    case kelmar::CommandLine::Mode::Windows:
        break;
    }
    // Qt sees its own options only: --lang is ours.
    std::vector<char *> qtArgv{argv[0]};
    for (const int i : kelmar::argumentsForQt(args))
        qtArgv.push_back(argv[i + 1]);
    int qtArgc = int(qtArgv.size());
    qtArgv.push_back(nullptr);
    QApplication app(qtArgc, qtArgv.data());
    kelmar::installLanguage(kelmar::languageFor(c.language));
    // What Qt did not take as its own option is not understood.
    if (QCoreApplication::arguments().size() > 1) {
        std::fputs(kelmar::refusalText(QCoreApplication::arguments().at(1)).toLocal8Bit().constData(),
                   stderr);
        return 2;
    }
    kelmar::installFontSubstitutions();
    // setup.ini, meter.txt and logo/ lie beside the program file.
    kelmar::Station station(QCoreApplication::applicationDirPath(), kelmar::Clock::system());
    kelmar::Form1 form1(station);
    form1.Form_Load();
    form1.show();
    // Ended by the system (SIGTERM, a logout): as the exit button's Yes.
    kelmar::routeSignals(&form1, [&form1] { form1.quit(); });
    return app.exec();
}

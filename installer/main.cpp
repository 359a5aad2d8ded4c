#include "fonts.h"
#include "installer.h"
#include "installwindow.h"
#include "language.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The system's language, or --lang's as for the program it installs.
    const QStringList args = QCoreApplication::arguments();
    QString lang;
    for (int i = 1; i < args.size(); ++i) {
        if (kelmar::languageOption(args, i, &lang))
            break;
    }
    kelmar::installLanguage(kelmar::languageFor(lang));
    kelmar::installFontSubstitutions();
    // The distribution lies beside the installer.
    kelmar::Installer installer(kelmar::systemMachine(QCoreApplication::applicationDirPath()));
    kelmar::InstallWindow window(installer);
    // Ending the installer is the last step; it is queued so that the click
    // that started the installation returns first.
    QObject::connect(&window, &kelmar::InstallWindow::ended, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    window.show();
    return app.exec();
}

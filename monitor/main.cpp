#include "clock.h"
#include "fonts.h"
#include "form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    kelmar::installFontSubstitutions();
    // setup.ini, meter.txt and logo/ lie beside the program file.
    kelmar::Form1 form1(QCoreApplication::applicationDirPath(), kelmar::Clock::system());
    form1.Form_Load();
    form1.show();
    return app.exec();
}

// Linked into the tests that also run under a decimal-comma locale. When
// that run is asked for, the locale must really be in force, for Qt and for
// the C library alike: a locale that is not installed would silently fall
// back to a decimal point and the run would prove nothing.
#include <QLocale>
#include <QtGlobal>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool checkDecimalComma()
{
    if (!qEnvironmentVariableIsSet("KELMAR_EXPECT_DECIMAL_COMMA"))
        return true;
    const char *c = std::setlocale(LC_ALL, "");
    const bool cComma = c && std::strcmp(std::localeconv()->decimal_point, ",") == 0;
    const bool qtComma = QLocale::system().decimalPoint() == QStringLiteral(",");
    if (!cComma || !qtComma) {
        std::fprintf(stderr,
                     "FAIL: the decimal-comma locale is not in force (C library: %s, Qt: %s); "
                     "generate it with: localedef -i de_DE -f UTF-8 de_DE.UTF-8\n",
                     cComma ? "comma" : "point", qtComma ? "comma" : "point");
        std::exit(1);
    }
    return true;
}

const bool checked = checkDecimalComma();

} // namespace

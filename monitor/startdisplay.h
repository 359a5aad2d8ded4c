#pragma once

#include <QString>
#include <QStringList>
#include <array>

namespace kelmar {

class Form3;
class Form4;

struct StartLayoutResult
{
    std::array<double, 6> divisors{1, 1, 1, 1, 1, 1};
    // Picture files that could not be loaded, for the operator's notice.
    QStringList missingPictures;
};

// Steps 1 to 4 of the start button: the display window's layout for the
// screen-size code, the slot pictures and value labels, and the divisors.
// (Placeholder until the display layout is built.)
StartLayoutResult layOutDisplay(Form3 &display, Form4 &meters, const QString &OP_D,
                                const QString &programDir);

} // namespace kelmar

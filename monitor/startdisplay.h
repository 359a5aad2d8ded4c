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
// A screen-size code other than "1" or "2" leaves the window as it is; the
// divisors are computed in any case. A picture that cannot be loaded leaves
// its slot's picture box empty and is named in the result.
StartLayoutResult layOutDisplay(Form3 &display, Form4 &meters, const QString &OP_D,
                                const QString &programDir);

} // namespace kelmar

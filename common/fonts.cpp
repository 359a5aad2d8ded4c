#include "fonts.h"

#include <QStringList>

namespace kelmar {

void installFontSubstitutions()
{
    QFont::insertSubstitutions(FontKai,
                               {QStringLiteral("AR PL UKai TW"), QStringLiteral("AR PL UKai HK"),
                                QStringLiteral("AR PL UKai CN")});
    QFont::insertSubstitutions(FontMing,
                               {QStringLiteral("AR PL UMing TW"), QStringLiteral("AR PL UMing HK"),
                                QStringLiteral("AR PL UMing CN")});
    QFont::insertSubstitutions(FontArial, {QStringLiteral("Liberation Sans")});
}

QFont designFont(const QString &family, double points, bool bold)
{
    QFont f(family);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

} // namespace kelmar

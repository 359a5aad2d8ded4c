#include "displaylayout.h"

#include "numbertext.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <array>

namespace kelmar {

namespace {

// OP_D in setup.ini.
const QString SmallScreenCode = QStringLiteral("1");
const QString LargeScreenCode = QStringLiteral("2");

const QString ModelAPicture = QStringLiteral("logo/vq2_366.jpg");
const QString ModelBPicture = QStringLiteral("logo/ZRP_366.jpg");

// Decimal places 0 to 4.
constexpr std::array<double, 5> Divisors{1, 10, 100, 1000, 10000};

} // namespace

std::optional<ScreenSize> screenSizeFromCode(const QString &OP_D)
{
    if (OP_D == SmallScreenCode)
        return ScreenSize::Small;
    if (OP_D == LargeScreenCode)
        return ScreenSize::Large;
    return std::nullopt;
}

SlotAction slotAction(bool enabled, const QString &flag)
{
    if (!enabled)
        return SlotAction::Clear;
    if (flag == QLatin1String("A"))
        return SlotAction::ModelA;
    if (flag == QLatin1String("B"))
        return SlotAction::ModelB;
    return SlotAction::LeaveAsIs;
}

ValueField valuePlace(SlotAction model, int item, QPoint origin)
{
    return placedField(model == SlotAction::ModelA ? PanelKind::SingleValue : PanelKind::TwoValues,
                       item, origin);
}

QString modelPicture(SlotAction model)
{
    switch (model) {
    case SlotAction::ModelA:
        return ModelAPicture;
    case SlotAction::ModelB:
        return ModelBPicture;
    case SlotAction::Clear:
    case SlotAction::LeaveAsIs:
        break;
    }
    return {};
}

QString findPathIgnoringCase(const QString &base, const QString &relative)
{
    QString path = base;
    const QStringList parts = relative.split(u'/', Qt::SkipEmptyParts);
    for (int i = 0; i < parts.size(); ++i) {
        const QString &part = parts[i];
        const bool last = i == parts.size() - 1;
        const QDir dir(path);
        if (dir.exists(part) && QFileInfo(dir.filePath(part)).isDir() != last) {
            path = dir.filePath(part);
            continue;
        }
        const QDir::Filters filter = last ? QDir::Files : QDir::Dirs | QDir::NoDotAndDotDot;
        const QStringList names = dir.entryList(filter | QDir::Hidden | QDir::System, QDir::Name);
        QString found;
        for (const QString &name : names) {
            if (name.compare(part, Qt::CaseInsensitive) == 0) {
                found = name;
                break;
            }
        }
        if (found.isEmpty())
            return {};
        path = dir.filePath(found);
    }
    return path;
}

double meterDivisor(const QString &decimals)
{
    const double v = leadingNumber(decimals);
    for (int places = 0; places < int(Divisors.size()); ++places) {
        if (v == places)
            return Divisors[places];
    }
    if (v > double(Divisors.size() - 1))
        return Divisors.back();
    return v;
}

double meterDivisor(std::optional<int> decimals)
{
    return meterDivisor(decimals ? QString::number(*decimals) : QString());
}

} // namespace kelmar

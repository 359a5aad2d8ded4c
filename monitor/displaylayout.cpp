#include "displaylayout.h"

#include "numbertext.h"
#include "twips.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <array>

namespace kelmar {

namespace {

struct ScreenLayout
{
    const char *code; // OP_D
    int widthTwips;
    int heightTwips;
    QPoint firstSlot;
    QPoint exitButton;
};

// The large layout is the small one moved 120 right and 80 down, except the
// Exit button's top (637, not 632).
constexpr ScreenLayout Screens[] = {
    {"1", 12000, 9000, {24, 56}, {24, 552}},
    {"2", 15360, 11520, {144, 136}, {144, 637}},
};

constexpr int Columns = 2;
constexpr int ColumnPitch = 384;
constexpr int RowPitch = 176;
constexpr QPoint TitleOffset{0, -32};

// Value labels relative to the slot origin.
struct ValueOffset
{
    int left, top, width, height;
    double points;
};
constexpr ValueOffset ModelAItem0{22, 8, 321, 81, 60};
constexpr ValueOffset ModelBItem0{40, 8, 317, 57, 40};
constexpr ValueOffset ModelBItem1{206, 69, 151, 47, 32};

const QString ModelAPicture = QStringLiteral("logo/vq2_366.jpg");
const QString ModelBPicture = QStringLiteral("logo/ZRP_366.jpg");

// Decimal places 0 to 4.
constexpr std::array<double, 5> Divisors{1, 10, 100, 1000, 10000};

const ScreenLayout &layoutOf(ScreenSize s)
{
    return Screens[s == ScreenSize::Small ? 0 : 1];
}

} // namespace

std::optional<ScreenSize> screenSizeFromCode(const QString &OP_D)
{
    if (OP_D == QLatin1String(Screens[0].code))
        return ScreenSize::Small;
    if (OP_D == QLatin1String(Screens[1].code))
        return ScreenSize::Large;
    return std::nullopt;
}

QSize displayWindowSize(ScreenSize s)
{
    const ScreenLayout &l = layoutOf(s);
    return QSize(px(l.widthTwips), px(l.heightTwips));
}

QPoint slotOrigin(ScreenSize s, int k)
{
    const int column = (k - 1) % Columns;
    const int row = (k - 1) / Columns;
    return layoutOf(s).firstSlot + QPoint(ColumnPitch * column, RowPitch * row);
}

QPoint titlePosition(ScreenSize s, int k)
{
    return slotOrigin(s, k) + TitleOffset;
}

QPoint exitButtonPosition(ScreenSize s)
{
    return layoutOf(s).exitButton;
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

ValuePlace valuePlace(SlotAction model, int item, QPoint origin)
{
    const ValueOffset &v = model == SlotAction::ModelA ? ModelAItem0
                           : item == 0                 ? ModelBItem0
                                                       : ModelBItem1;
    return {QRect(origin.x() + v.left, origin.y() + v.top, v.width, v.height), v.points};
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

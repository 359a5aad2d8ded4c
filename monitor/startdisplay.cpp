#include "startdisplay.h"

#include "displaylayout.h"
#include "displayplan.h"
#include "form3.h"

#include <QDir>
#include <QImageReader>
#include <QMap>
#include <QPixmap>

namespace kelmar {

namespace {

// The pictures of one press, each read from its file once.
class PictureLoader
{
public:
    explicit PictureLoader(const QString &programDir) : m_programDir(programDir) {}

    QPixmap picture(SlotAction model)
    {
        const auto cached = m_pictures.constFind(model);
        if (cached != m_pictures.cend())
            return *cached;
        const QString relative = modelPicture(model);
        const QString found = findPathIgnoringCase(m_programDir, relative);
        QPixmap pixmap;
        if (!found.isEmpty()) {
            QImageReader reader(found);
            pixmap = QPixmap::fromImageReader(&reader);
        }
        if (pixmap.isNull())
            m_missing << QDir::toNativeSeparators(
                found.isEmpty() ? QDir(m_programDir).filePath(relative) : found);
        m_pictures.insert(model, pixmap);
        return pixmap;
    }

    QStringList missing() const { return m_missing; }

private:
    QString m_programDir;
    QMap<SlotAction, QPixmap> m_pictures;
    QStringList m_missing;
};

} // namespace

StartLayoutResult layOutDisplay(Form3 &display, const std::array<MeterSlot, SlotCount> &meterSlots,
                                const QString &OP_D, const QString &programDir)
{
    StartLayoutResult result;
    PictureLoader pictures(programDir);

    if (const std::optional<ScreenSize> size = screenSizeFromCode(OP_D)) {
        DisplayPlan plan;
        plan.windowSize = displayWindowSize(*size);
        plan.exitButton = exitButtonPosition(*size);
        for (int k = 1; k <= SlotCount; ++k) {
            const MeterSlot &slot = meterSlots[k - 1];
            SlotPlan &s = plan.slotPlans[k - 1];
            s.picture = slotOrigin(*size, k);
            s.title = titlePosition(*size, k);
            const SlotAction action = slotAction(slot.enabled, slot.flag);
            switch (action) {
            case SlotAction::Clear:
                break; // no picture, both fields hidden
            case SlotAction::ModelA:
            case SlotAction::ModelB:
                s.image = pictures.picture(action);
                s.item0 = valuePlace(action, 0, s.picture);
                if (action == SlotAction::ModelB)
                    s.item1 = valuePlace(action, 1, s.picture);
                break;
            case SlotAction::LeaveAsIs:
                s.keep = true;
                break;
            }
        }
        display.applyLayout(plan);
    }

    for (int k = 1; k <= SlotCount; ++k)
        result.divisors[k - 1] = meterDivisor(meterSlots[k - 1].decimals);
    result.missingPictures = pictures.missing();
    return result;
}

} // namespace kelmar

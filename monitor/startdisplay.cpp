#include "startdisplay.h"

#include "displaylayout.h"
#include "form3.h"
#include "form4.h"

#include <QCheckBox>
#include <QDir>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPixmap>
#include <QPushButton>

namespace kelmar {

namespace {

constexpr int DecimalsItem = 1;
constexpr int FlagItem = 6;

void placeValue(QLabel *label, const ValuePlace &p)
{
    label->setGeometry(p.rect);
    QFont f = label->font();
    f.setPointSizeF(p.points);
    label->setFont(f);
}

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

StartLayoutResult layOutDisplay(Form3 &display, Form4 &meters, const QString &OP_D,
                                const QString &programDir)
{
    StartLayoutResult result;
    PictureLoader pictures(programDir);

    if (const std::optional<ScreenSize> size = screenSizeFromCode(OP_D)) {
        display.resize(displayWindowSize(*size));
        // Meant to cover a screen of the chosen size exactly; on another
        // screen it stays centred as it was when created.
        display.centreOnScreen();
        for (int k = 1; k <= 6; ++k)
            display.Image(k)->move(slotOrigin(*size, k));
        for (int k = 1; k <= 6; ++k)
            display.TitleLabel(k)->move(titlePosition(*size, k));

        for (int k = 1; k <= 6; ++k) {
            const SlotAction action =
                slotAction(meters.MSCK(k)->isChecked(), meters.MS(k, FlagItem)->text());
            QLabel *item0 = display.Label(k, 0);
            QLabel *item1 = display.Label(k, 1);
            const QPoint origin = slotOrigin(*size, k);
            switch (action) {
            case SlotAction::Clear:
                display.setPicture(k, QPixmap());
                item0->hide();
                item1->hide();
                break;
            case SlotAction::ModelA:
                display.setPicture(k, pictures.picture(action));
                item1->hide();
                item0->show();
                placeValue(item0, valuePlace(action, 0, origin));
                break;
            case SlotAction::ModelB:
                display.setPicture(k, pictures.picture(action));
                item1->show();
                item0->show();
                placeValue(item0, valuePlace(action, 0, origin));
                placeValue(item1, valuePlace(action, 1, origin));
                break;
            case SlotAction::LeaveAsIs:
                break;
            }
        }
        display.Command1->move(exitButtonPosition(*size));
    }

    for (int k = 1; k <= 6; ++k)
        result.divisors[k - 1] = meterDivisor(meters.MS(k, DecimalsItem)->text());
    result.missingPictures = pictures.missing();
    return result;
}

} // namespace kelmar

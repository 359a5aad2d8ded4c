#include "meterpanel.h"

#include <QImage>
#include <QSet>
#include <QTest>

using namespace kelmar;

Q_DECLARE_METATYPE(kelmar::PanelKind)

namespace {

int grey(const QImage &img, QPoint p)
{
    return qGray(img.pixel(p));
}

// Mean grey level of a band of pixels.
double meanGrey(const QImage &img, const QRect &r)
{
    double sum = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            sum += grey(img, {x, y});
    return sum / (r.width() * r.height());
}

} // namespace

class TstMeterPanel : public QObject
{
    Q_OBJECT
private slots:
    void panels_data()
    {
        QTest::addColumn<PanelKind>("kind");
        QTest::addColumn<QString>("shipped"); // file in dist/logo, empty for the built-in one
        QTest::newRow("built-in") << PanelKind::Neutral << "";
        QTest::newRow("model A") << PanelKind::SingleValue << "vq2_366.jpg";
        QTest::newRow("model B") << PanelKind::TwoValues << "ZRP_366.jpg";
    }

    // The display fields are black where the red readings go, framed by a
    // dark edge, and the face around them is clearly lighter.
    void panels()
    {
        QFETCH(PanelKind, kind);
        QFETCH(QString, shipped);
        const QImage drawn = drawMeterPanel(kind);
        QCOMPARE(drawn.size(), displaytable::Panel);

        QList<QImage> pictures{drawn};
        if (!shipped.isEmpty()) {
            const QImage file(QStringLiteral(KELMAR_SOURCE_DIR "/dist/logo/") + shipped);
            QVERIFY2(!file.isNull(), qPrintable(shipped));
            QCOMPARE(file.size(), displaytable::Panel);
            // The shipped picture was made from this drawing (remake it with
            // kelmar_mkpanels when the drawing changes).
            const QImage a = file.convertToFormat(QImage::Format_RGB32);
            double diff = 0;
            for (int y = 0; y < a.height(); ++y)
                for (int x = 0; x < a.width(); ++x)
                    diff += qAbs(qGray(a.pixel(x, y)) - qGray(drawn.pixel(x, y)));
            QVERIFY2(diff / (a.width() * a.height()) < 6, "dist/logo is out of date");
            pictures << a;
        }

        for (const QImage &img : pictures) {
            for (const QRect &field : panelDisplayFields(kind)) {
                QVERIFY(meanGrey(img, field) < 25);
                const QRect edge = field.adjusted(-1, -1, 1, 1);
                QVERIFY(meanGrey(img, QRect(edge.left(), edge.top(), edge.width(), 1)) < 70);
                QVERIFY(meanGrey(img, QRect(edge.left(), edge.bottom(), edge.width(), 1)) < 70);
            }
            // Below the fields: the face with the name and the keys.
            QVERIFY(meanGrey(img, QRect(0, 125, displaytable::Panel.width(), 18)) > 35);
        }
        // An instrument, not a grey box: many colours, lit indicators.
        QSet<QRgb> colours;
        for (int y = 0; y < drawn.height(); y += 2)
            for (int x = 0; x < drawn.width(); x += 2)
                colours.insert(drawn.pixel(x, y));
        QVERIFY(colours.size() > 200);
    }

    void fields()
    {
        QCOMPARE(panelDisplayFields(PanelKind::SingleValue).size(), 1);
        QCOMPARE(panelDisplayFields(PanelKind::TwoValues).size(), 2);
        QCOMPARE(panelDisplayFields(PanelKind::Neutral), panelDisplayFields(PanelKind::TwoValues));
        for (PanelKind k : {PanelKind::Neutral, PanelKind::SingleValue, PanelKind::TwoValues})
            for (const QRect &r : panelDisplayFields(k))
                QVERIFY(QRect(QPoint(), displaytable::Panel).contains(r.adjusted(-2, -2, 2, 2)));
    }
};

QTEST_MAIN(TstMeterPanel)
#include "tst_meterpanel.moc"

#include "displaylayout.h"
#include "testfolder.h"

#include <QLocale>
#include <QTest>

// The positions and sizes themselves are checked on the display window in
// tst_startdisplay; here the rules every screen size's layout keeps.

using namespace kelmar;
using kelmar::test::TestFolder;

Q_DECLARE_METATYPE(kelmar::ScreenSize)
Q_DECLARE_METATYPE(std::optional<kelmar::ScreenSize>)
Q_DECLARE_METATYPE(kelmar::SlotAction)
Q_DECLARE_METATYPE(std::optional<int>)

class TstDisplayLayout : public QObject
{
    Q_OBJECT
private slots:
    void screenSize_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<std::optional<ScreenSize>>("size");
        QTest::newRow("1 is 800X600") << "1" << std::optional(ScreenSize::Small);
        QTest::newRow("2 is 1024X768") << "2" << std::optional(ScreenSize::Large);
        QTest::newRow("empty: setup.ini without the line") << "" << std::optional<ScreenSize>();
        QTest::newRow("3") << "3" << std::optional<ScreenSize>();
        QTest::newRow("1 with a blank after") << "1 " << std::optional<ScreenSize>();
        QTest::newRow("blank before 2") << " 2" << std::optional<ScreenSize>();
        QTest::newRow("01") << "01" << std::optional<ScreenSize>();
        QTest::newRow("caption 800X600") << "800X600" << std::optional<ScreenSize>();
    }
    void screenSize()
    {
        QFETCH(QString, code);
        QFETCH(std::optional<ScreenSize>, size);
        QCOMPARE(screenSizeFromCode(code), size);
    }

    void slotAction_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("flag");
        QTest::addColumn<SlotAction>("action");
        QTest::newRow("off with A") << false << "A" << SlotAction::Clear;
        QTest::newRow("off without flag") << false << "" << SlotAction::Clear;
        QTest::newRow("A") << true << "A" << SlotAction::ModelA;
        QTest::newRow("B") << true << "B" << SlotAction::ModelB;
        QTest::newRow("lower-case a") << true << "a" << SlotAction::LeaveAsIs;
        QTest::newRow("A and a blank") << true << "A " << SlotAction::LeaveAsIs;
        QTest::newRow("blank and B") << true << " B" << SlotAction::LeaveAsIs;
        QTest::newRow("no model chosen") << true << "" << SlotAction::LeaveAsIs;
        QTest::newRow("C") << true << "C" << SlotAction::LeaveAsIs;
    }
    void slotAction()
    {
        QFETCH(bool, enabled);
        QFETCH(QString, flag);
        QFETCH(SlotAction, action);
        QCOMPARE(kelmar::slotAction(enabled, flag), action);
    }

    // At each screen size: every slot's picture, title, status mark, value
    // fields and the Exit button lie inside the window; each model's value
    // fields lie inside the slot's picture (a start shows the model's
    // picture at its own size) and apart from each other; no slot touches
    // another; Exit lies below every picture.
    void layoutKeepsItsRules_data()
    {
        QTest::addColumn<ScreenSize>("size");
        QTest::newRow("800X600") << ScreenSize::Small;
        QTest::newRow("1024X768") << ScreenSize::Large;
    }
    void layoutKeepsItsRules()
    {
        QFETCH(ScreenSize, size);
        const QRect window(QPoint(), displayWindowSize(size));
        const QRect exit(exitButtonPosition(size), displaytable::ExitButton);
        QVERIFY(window.contains(exit));
        QList<QRect> slotAreas;
        for (int k = 1; k <= SlotCount; ++k) {
            const QRect picture(slotOrigin(size, k), displaytable::Panel);
            const QRect title(titlePosition(size, k), displaytable::Title.size());
            const QRect status = displaytable::Status.translated(title.topLeft());
            for (const QRect &r : {picture, title, status})
                QVERIFY2(window.contains(r), qPrintable(QStringLiteral("slot %1").arg(k)));
            QVERIFY(title.bottom() <= picture.top() && !status.intersects(title));
            QVERIFY(exit.top() > picture.bottom());
            for (SlotAction model : {SlotAction::ModelA, SlotAction::ModelB}) {
                const int items = model == SlotAction::ModelA ? 1 : 2;
                const ValueField first = valuePlace(model, 0, picture.topLeft());
                for (int item = 0; item < items; ++item) {
                    const ValueField v = valuePlace(model, item, picture.topLeft());
                    QVERIFY(picture.contains(v.rect));
                    QVERIFY(v.points > 0);
                    QVERIFY(!status.intersects(v.rect) && !title.intersects(v.rect));
                    if (item > 0)
                        QVERIFY(!v.rect.intersects(first.rect));
                }
            }
            const QRect area = title | picture;
            for (const QRect &other : slotAreas)
                QVERIFY2(!other.intersects(area), qPrintable(QStringLiteral("slot %1").arg(k)));
            slotAreas << area;
        }
    }

    void pictures()
    {
        QCOMPARE(modelPicture(SlotAction::ModelA), QStringLiteral("logo/vq2_366.jpg"));
        QCOMPARE(modelPicture(SlotAction::ModelB), QStringLiteral("logo/ZRP_366.jpg"));
        QVERIFY(modelPicture(SlotAction::Clear).isEmpty());
        QVERIFY(modelPicture(SlotAction::LeaveAsIs).isEmpty());
    }

    void divisor_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("decimals");
        QTest::addColumn<double>("divisor");
        // Readings must not depend on the operator's number format.
        for (const char *locale : {"C", "de_DE"}) {
            auto row = [locale](const char *what, const char *text, double d) {
                QTest::addRow("%s: %s", locale, what)
                    << QString::fromLatin1(locale) << QString::fromLatin1(text) << d;
            };
            row("0 places", "0", 1);
            row("1 place", "1", 10);
            row("2 places", "2", 100);
            row("3 places", "3", 1000);
            row("4 places", "4", 10000);
            row("7 places: more than 4", "7", 10000);
            row("4.5 is more than 4", "4.5", 10000);
            row("2.5 divides by itself", "2.5", 2.5);
            row("-1 divides by itself", "-1", -1);
            row("empty reads as 0", "", 1);
            row("2abc reads as 2", "2abc", 100);
            row("abc reads as 0", "abc", 1);
            row("blanks are skipped", " 3 ", 1000);
            row("decimal comma stops the number", "2,5", 100);
        }
    }
    void divisor()
    {
        QFETCH(QString, locale);
        QFETCH(QString, decimals);
        QFETCH(double, divisor);
        QLocale::setDefault(QLocale(locale));
        QCOMPARE(meterDivisor(decimals), divisor);
        QLocale::setDefault(QLocale::c());
    }

    // Decimal places chosen from the list read as their text; none chosen
    // reads as the empty text.
    void divisorOfChosenPlaces_data()
    {
        QTest::addColumn<std::optional<int>>("places");
        QTest::addColumn<double>("divisor");
        QTest::newRow("none chosen") << std::optional<int>() << 1.0;
        QTest::newRow("0") << std::optional(0) << 1.0;
        QTest::newRow("3") << std::optional(3) << 1000.0;
        QTest::newRow("7: more than 4") << std::optional(7) << 10000.0;
        QTest::newRow("-1 divides by itself") << std::optional(-1) << -1.0;
    }
    void divisorOfChosenPlaces()
    {
        QFETCH(std::optional<int>, places);
        QFETCH(double, divisor);
        QCOMPARE(meterDivisor(places), divisor);
    }

    void pathIgnoringCase_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("wanted");
        QTest::addColumn<QString>("found");
        QTest::newRow("exact") << QStringList{"logo/ZRP_366.jpg"} << "logo/ZRP_366.jpg"
                               << "logo/ZRP_366.jpg";
        QTest::newRow("as the installer writes it")
            << QStringList{"logo/zrp_366.jpg"} << "logo/ZRP_366.jpg"
            << "logo/zrp_366.jpg";
        QTest::newRow("folder and suffix in capitals")
            << QStringList{"LOGO/VQ2_366.JPG"} << "logo/vq2_366.jpg"
            << "LOGO/VQ2_366.JPG";
        QTest::newRow("exact match preferred")
            << QStringList{"logo/zrp_366.jpg", "logo/ZRP_366.jpg"} << "logo/ZRP_366.jpg"
            << "logo/ZRP_366.jpg";
        QTest::newRow("missing file") << QStringList{"logo/other.jpg"} << "logo/ZRP_366.jpg"
                                      << "";
        QTest::newRow("missing folder") << QStringList{"pictures/ZRP_366.jpg"} << "logo/ZRP_366.jpg"
                                        << "";
        QTest::newRow("a folder where the file should be")
            << QStringList{"logo/ZRP_366.jpg/x"} << "logo/ZRP_366.jpg"
            << "";
    }
    void pathIgnoringCase()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, wanted);
        QFETCH(QString, found);
        TestFolder dir;
        QVERIFY(dir.isValid());
        for (const QString &f : files)
            QVERIFY(dir.write(f, "x"));
        const QString result = findPathIgnoringCase(dir.path(), wanted);
#ifdef Q_OS_WIN
        // Windows finds a name in any spelling: the path names the same file.
        QCOMPARE(result.toLower(), found.isEmpty() ? QString() : dir.file(found).toLower());
#else
        QCOMPARE(result, found.isEmpty() ? QString() : dir.file(found));
#endif
    }
};

QTEST_APPLESS_MAIN(TstDisplayLayout)
#include "tst_displaylayout.moc"

#include "displaylayout.h"
#include "testfolder.h"

#include <QLocale>
#include <QTest>

using namespace kelmar;
using kelmar::test::TestFolder;

Q_DECLARE_METATYPE(std::optional<kelmar::ScreenSize>)
Q_DECLARE_METATYPE(kelmar::ScreenSize)
Q_DECLARE_METATYPE(kelmar::SlotAction)

namespace {

// Positions (left, top) of each slot as the layout tables list them, not
// computed from the grid rule: picture, title, "A" item 0, "B" item 0,
// "B" item 1.
struct SlotRow
{
    QPoint picture, title, a0, b0, b1;
};
const SlotRow Small[6] = {
    {{24, 56}, {24, 24}, {46, 64}, {64, 64}, {230, 125}},
    {{408, 56}, {408, 24}, {430, 64}, {448, 64}, {614, 125}},
    {{24, 232}, {24, 200}, {46, 240}, {64, 240}, {230, 301}},
    {{408, 232}, {408, 200}, {430, 240}, {448, 240}, {614, 301}},
    {{24, 408}, {24, 376}, {46, 416}, {64, 416}, {230, 477}},
    {{408, 408}, {408, 376}, {430, 416}, {448, 416}, {614, 477}},
};
const SlotRow Large[6] = {
    {{144, 136}, {144, 104}, {166, 144}, {184, 144}, {350, 205}},
    {{528, 136}, {528, 104}, {550, 144}, {568, 144}, {734, 205}},
    {{144, 312}, {144, 280}, {166, 320}, {184, 320}, {350, 381}},
    {{528, 312}, {528, 280}, {550, 320}, {568, 320}, {734, 381}},
    {{144, 488}, {144, 456}, {166, 496}, {184, 496}, {350, 557}},
    {{528, 488}, {528, 456}, {550, 496}, {568, 496}, {734, 557}},
};

} // namespace

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

    void windowAndExit_data()
    {
        QTest::addColumn<ScreenSize>("size");
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QPoint>("exit");
        QTest::newRow("800X600") << ScreenSize::Small << QSize(800, 600) << QPoint(24, 552);
        QTest::newRow("1024X768: Exit top 637, not 632")
            << ScreenSize::Large << QSize(1024, 768) << QPoint(144, 637);
    }
    void windowAndExit()
    {
        QFETCH(ScreenSize, size);
        QFETCH(QSize, window);
        QFETCH(QPoint, exit);
        QCOMPARE(displayWindowSize(size), window);
        QCOMPARE(exitButtonPosition(size), exit);
    }

    void slotPlaces_data()
    {
        QTest::addColumn<ScreenSize>("size");
        QTest::addColumn<int>("k");
        QTest::addColumn<QPoint>("picture");
        QTest::addColumn<QPoint>("title");
        QTest::addColumn<QPoint>("a0");
        QTest::addColumn<QPoint>("b0");
        QTest::addColumn<QPoint>("b1");
        for (int k = 1; k <= 6; ++k) {
            const SlotRow &s = Small[k - 1];
            QTest::addRow("800X600 slot %d", k)
                << ScreenSize::Small << k << s.picture << s.title << s.a0 << s.b0 << s.b1;
        }
        for (int k = 1; k <= 6; ++k) {
            const SlotRow &l = Large[k - 1];
            QTest::addRow("1024X768 slot %d", k)
                << ScreenSize::Large << k << l.picture << l.title << l.a0 << l.b0 << l.b1;
        }
    }
    void slotPlaces()
    {
        QFETCH(ScreenSize, size);
        QFETCH(int, k);
        QFETCH(QPoint, picture);
        QFETCH(QPoint, title);
        QFETCH(QPoint, a0);
        QFETCH(QPoint, b0);
        QFETCH(QPoint, b1);
        const QPoint origin = slotOrigin(size, k);
        QCOMPARE(origin, picture);
        QCOMPARE(titlePosition(size, k), title);

        const ValuePlace a = valuePlace(SlotAction::ModelA, 0, origin);
        QCOMPARE(a.rect, QRect(a0, QSize(321, 81)));
        QCOMPARE(a.points, 60.0);
        const ValuePlace first = valuePlace(SlotAction::ModelB, 0, origin);
        QCOMPARE(first.rect, QRect(b0, QSize(317, 57)));
        QCOMPARE(first.points, 40.0);
        const ValuePlace second = valuePlace(SlotAction::ModelB, 1, origin);
        QCOMPARE(second.rect, QRect(b1, QSize(151, 47)));
        QCOMPARE(second.points, 32.0);
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
        QCOMPARE(result, found.isEmpty() ? QString() : dir.file(found));
    }
};

QTEST_APPLESS_MAIN(TstDisplayLayout)
#include "tst_displaylayout.moc"

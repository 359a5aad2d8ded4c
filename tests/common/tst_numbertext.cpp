#include "numbertext.h"

#include <QTest>

using namespace kelmar;

class TstVbVal : public QObject
{
    Q_OBJECT
private slots:
    void leading_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("plain") << "1000" << 1000.0;
        QTest::newRow("number then letters") << "500abc" << 500.0;
        QTest::newRow("no number") << "abc" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("surrounding blanks") << " 2000 " << 2000.0;
        QTest::newRow("blank inside") << "1 2" << 12.0;
        QTest::newRow("fraction") << "2.5" << 2.5;
        QTest::newRow("negative") << "-1" << -1.0;
        QTest::newRow("digits then junk") << "2abc" << 2.0;
        QTest::newRow("exponent") << "1e3" << 1000.0;
        QTest::newRow("e without digits") << "7e" << 7.0;
        QTest::newRow("lone point") << "." << 0.0;
    }
    void leading()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(leadingNumber(text), value);
    }

    void whole_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<double>("value");
        QTest::newRow("file form of 3") << " 3 " << true << 3.0;
        QTest::newRow("trailing letters") << "3abc" << false << 0.0;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("zero") << "0" << true << 0.0;
    }
    void whole()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(double, value);
        const auto v = wholeNumber(text);
        QCOMPARE(v.has_value(), ok);
        if (ok)
            QCOMPARE(*v, value);
    }

    void roundingHalvesToEven()
    {
        QCOMPARE(*roundHalfEven(2.5), 2);
        QCOMPARE(*roundHalfEven(3.5), 4);
        QCOMPARE(*roundHalfEven(-0.5), 0);
        QVERIFY(!roundHalfEven(1e12).has_value());
    }
};

QTEST_APPLESS_MAIN(TstVbVal)
#include "tst_numbertext.moc"

#include "cp950.h"

#include <QTest>

using namespace kelmar;

class TstCp950 : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        // Byte values from the Big5 table of glibc's iconv (iconv -t CP950).
        QTest::newRow("ascii") << QByteArray("N,8,1") << QStringLiteral("N,8,1");
        QTest::newRow("record switch caption")
            << QByteArray("\xab\xd8\xa5\xdf\xb0\x4f\xbf\xfd\xc0\xc9")
            << QStringLiteral("建立記錄檔");
        QTest::newRow("mixed with CR LF")
            << QByteArray("D:\\\xb0\x4f\xbf\xfd\\\r\n") << QStringLiteral("D:\\記錄\\\r\n");
        QTest::newRow("empty") << QByteArray() << QString();
    }
    void roundTrip()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(decodeCp950(bytes), text);
        QCOMPARE(encodeCp950(text), bytes);
    }

    void badBytesKeepTheirPlace()
    {
        // A byte that no character starts with, and a lead byte cut off at the end.
        const QString t = decodeCp950(QByteArray("A\xff") + "B\xa4");
        QCOMPARE(t, QStringLiteral("A\uFFFDB\uFFFD"));
    }

    void unmappableBecomesQuestionMark()
    {
        QCOMPARE(encodeCp950(QStringLiteral("a\U0001F600b")), QByteArray("a?b"));
    }
};

QTEST_APPLESS_MAIN(TstCp950)
#include "tst_cp950.moc"

#include "cp950.h"
#include "metertable.h"
#include "modelsini.h"

#include <QRegularExpression>

#include <QTest>

using namespace kelmar;

class TstMeterTable : public QObject
{
    Q_OBJECT
private slots:
    void split_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("empty text: no lines") << "" << QStringList();
        QTest::newRow("one line without line end") << "VQ2-V" << QStringList{"VQ2-V"};
        QTest::newRow("three lines ending in CR LF: empty fourth")
            << "a\r\nb\r\nc\r\n"
            << QStringList{"a", "b", "c", ""};
        QTest::newRow("bare LF does not split") << "a\nb\n" << QStringList{"a\nb\n"};
        QTest::newRow("bare CR does not split") << "a\rb" << QStringList{"a\rb"};
        QTest::newRow("LF CR is no line end") << "a\n\rb" << QStringList{"a\n\rb"};
        QTest::newRow("only CR LF: two empty entries") << "\r\n" << QStringList{"", ""};
        QTest::newRow("empty line inside") << "a\r\n\r\nb" << QStringList{"a", "", "b"};
    }
    void split()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, lines);
        QCOMPARE(splitMeterLines(text), lines);
    }

    void entry_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("fields"); // name, registers, counts, flag
        QTest::newRow("nine characters and a space keep the space")
            << "ABCDEFGHI 0000,0002,0010,0002,B"
            << QStringList{"ABCDEFGHI ", "0000", "0002", "0010", "0002", "B"};
        QTest::newRow("separators are not read")
            << "VQ2-V     0001x0002y0003z0004wA"
            << QStringList{"VQ2-V     ", "0001", "0002", "0003", "0004", "A"};
        QTest::newRow("exactly ten characters: no registers")
            << "ABCDEFGHIJ" << QStringList{"ABCDEFGHIJ", "", "", "", "", ""};
        QTest::newRow("short name") << "X" << QStringList{"X", "", "", "", "", ""};
        QTest::newRow("empty entry after a final CR LF")
            << "" << QStringList{"", "", "", "", "", ""};
        QTest::newRow("cut in the first register")
            << "VQ2-V     00" << QStringList{"VQ2-V     ", "00", "", "", "", ""};
        QTest::newRow("cut before the flag")
            << "VQ2-V     0000,0001,0000,0000,"
            << QStringList{"VQ2-V     ", "0000", "0001", "0000", "0000", ""};
        QTest::newRow("text after the flag is not read")
            << "ZRP-VA    0000,0001,0002,0001,B voltage / current"
            << QStringList{"ZRP-VA    ", "0000", "0001", "0002", "0001", "B"};
        QTest::newRow("nothing checked: lower-case flag, no hex digits")
            << "abc       zzzz,-1  ,    ,0x10,b"
            << QStringList{"abc       ", "zzzz", "-1  ", "    ", "0x10", "b"};
    }
    void entry()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, fields);
        const MeterEntry e = meterEntry(line);
        QCOMPARE((QStringList{e.name, e.register1, e.count1, e.register2, e.count2, e.flag}),
                 fields);
    }

    // Columns are counted in characters after the conversion, so a Big5
    // name of four characters and six blanks fills columns 1 to 10.
    void big5Names_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("register2");
        // Bytes from Python's cp950 codec ("溫濕度計".encode("cp950")).
        QTest::newRow("four Big5 characters")
            << QByteArray("\xb7\xc5\xc0\xe3\xab\xd7\xad\x70      0008,0001,000A,0001,B")
            << QStringLiteral("溫濕度計      ") << QStringLiteral("000A");
        // "電錶" is \xb9\x71\xbf\xf6; the second byte 0x5c of "功" (\xa5\x5c)
        // must not be taken for a backslash or a column.
        QTest::newRow("trail byte 0x5c")
            << QByteArray("\xa5\x5c\xb2\x76\xb9\x71\xbf\xf6      0004,0001,0006,0001,B")
            << QStringLiteral("功率電錶      ") << QStringLiteral("0006");
    }
    void big5Names()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, name);
        QFETCH(QString, register2);
        const MeterEntry e = meterEntry(decodeCp950(bytes));
        QCOMPARE(e.name, name);
        QCOMPARE(e.register2, register2);
        QCOMPARE(e.flag, QStringLiteral("B"));
    }

    void columns_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("part");
        QTest::newRow("inside") << "abcdef" << 2 << 3 << "bcd";
        QTest::newRow("past the end: what exists") << "abcdef" << 5 << 4 << "ef";
        QTest::newRow("beyond the line") << "abc" << 11 << 4 << "";
        QTest::newRow("from column 1") << "abc" << 1 << 10 << "abc";
    }
    void columns()
    {
        QFETCH(QString, line);
        QFETCH(int, first);
        QFETCH(int, length);
        QFETCH(QString, part);
        QCOMPARE(meterColumns(line, first, length), part);
    }

    // Only lines that name their registers in hexadecimal and have a
    // printable name are offered; each other line is named with its number.
    void offeredLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("why"); // empty: offered
        QTest::newRow("shipped model") << "VQ2-V     0000,0001,0000,0000,A 0.1 V" << QString();
        QTest::newRow("upper and lower case hex") << "X         00aF,0001,0B0c,0001,B" << QString();
        QTest::newRow("register not hexadecimal") << "VQ2-V     ZZZZ,0001,0000,0000,A"
                                                  << "not hexadecimal";
        QTest::newRow("count not hexadecimal") << "VQ2-V     0000,-1  ,0000,0000,A"
                                               << "not hexadecimal";
        QTest::newRow("cut before the second count") << "VQ2-V     0000,0001,0000"
                                                     << "not hexadecimal";
        QTest::newRow("NUL in the name")
            << QString::fromLatin1("VQ2\0V     0000,0001,0000,0000,A", 30) << "control character";
        QTest::newRow("tab in the name") << "VQ2\tV     0000,0001,0000,0000,A"
                                         << "control character";
    }
    void offeredLines()
    {
        QFETCH(QString, line);
        QFETCH(QString, why);
        const QString text =
            QStringLiteral("B1        0000,0002,0000,0000,A\r\n") + line + QStringLiteral("\r\n");
        const OfferedMeterLines offered = offeredMeterLines(text);
        QCOMPARE(offered.lines.size(), why.isEmpty() ? 2 : 1);
        QCOMPARE(offered.notices.size(), why.isEmpty() ? 0 : 1);
        if (!why.isEmpty())
            QVERIFY2(offered.notices[0].contains(QStringLiteral("meter.txt")) &&
                         offered.notices[0].contains(QStringLiteral("line 2")) &&
                         offered.notices[0].contains(why),
                     qPrintable(offered.notices[0]));
    }

    void entriesInFileOrder()
    {
        const QList<MeterEntry> e =
            meterEntries(splitMeterLines(QStringLiteral("B1        \r\nA2        \r\n")));
        QCOMPARE(e.size(), 3);
        QCOMPARE(e[0].name, QStringLiteral("B1        "));
        QCOMPARE(e[1].name, QStringLiteral("A2        "));
        QCOMPARE(e[2].name, QString());
    }

    // models.ini: the models offered, as "name flag: value, value", and the
    // lines named in notices.
    void modelsIni_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("models");
        QTest::addColumn<QStringList>("noticeLines");
        const QString good = "[Good]\npanel=A\nvalue1=3:0:int16\n";
        QTest::newRow("float meter: two values, so the two-value layout")
            << "[PM-F32]\npanel=A\nvalue1=4:0x0000:float32:CDAB\nvalue2=4:0x0006:float32:CDAB\n"
               "decimals1=1\ndecimals2=2\nunit1=V\nunit2=A\n"
            << QStringList{"PM-F32 B: 4:0x0000 float32 CDAB, 1 dp, V; 4:0x0006 float32 CDAB, 2 dp, A"}
            << QStringList();
        QTest::newRow("decimal register, ABCD by default, the slot's decimals")
            << "[E1]\npanel=A\nvalue1=3:100:uint32" << QStringList{"E1 A: 3:0x0064 uint32 ABCD"}
            << QStringList();
        QTest::newRow("BOM, CR LF, comments, name as written, UTF-8 unit")
            << QString::fromUtf8("\xEF\xBB\xBF; mine\r\n[電表 T-1]\r\n# x\r\npanel = A\r\n"
                                 "value1 = 3:0x10:Int16:dcba\r\nunit1=°C\r\n")
            << QStringList{QString::fromUtf8("電表 T-1 A: 3:0x0010 int16 DCBA, °C")} << QStringList();
        QTest::newRow("function 6: that model only is not offered")
            << "[Bad]\npanel=A\nvalue1=6:0:int16\n" + good << QStringList{"Good A: 3:0x0000 int16 ABCD"}
            << QStringList{"3"};
        QTest::newRow("int32 at 65535 runs past the last register")
            << "[Bad]\npanel=A\nvalue1=3:65535:int32\n" << QStringList() << QStringList{"3"};
        QTest::newRow("uint16 at 0xFFFF is the last register")
            << "[Top]\npanel=A\nvalue1=3:0xFFFF:uint16\n" << QStringList{"Top A: 3:0xffff uint16 ABCD"}
            << QStringList();
        QTest::newRow("unknown type") << "[Bad]\npanel=A\nvalue1=3:0:float16\n" << QStringList()
                                      << QStringList{"3"};
        QTest::newRow("unknown order") << "[Bad]\npanel=A\nvalue1=3:0:int32:ABDC\n" << QStringList()
                                       << QStringList{"3"};
        QTest::newRow("decimals 5") << "[Bad]\npanel=A\nvalue1=3:0:int16\ndecimals1=5\n"
                                    << QStringList() << QStringList{"4"};
        QTest::newRow("unknown key") << "[Bad]\npanel=A\nvalue1=3:0:int16\nscale=10\n" << QStringList()
                                     << QStringList{"4"};
        QTest::newRow("panel B without value2: its section line")
            << "[Bad]\npanel=B\nvalue1=3:0:int16\n" << QStringList() << QStringList{"1"};
        QTest::newRow("same name twice: the later one is not offered")
            << good + "[Good]\npanel=A\nvalue1=3:9:int16\n" << QStringList{"Good A: 3:0x0000 int16 ABCD"}
            << QStringList{"4"};
    }
    void modelsIni()
    {
        QFETCH(QString, text);
        const ModelsIni ini = parseModelsIni(text);
        QStringList models, noticeLines;
        for (const TypedModel &m : ini.models) {
            QStringList values;
            for (const auto &v : m.values)
                if (v)
                    values << describeValue(*v);
            models << m.name + u' ' + m.panel + ": " + values.join("; ");
        }
        static const QRegularExpression line("^models\\.ini 第 (\\d+) 行");
        for (const QString &n : ini.notices)
            noticeLines << line.match(n).captured(1);
        QTEST(models, "models");
        QTEST(noticeLines, "noticeLines");
    }
};

QTEST_APPLESS_MAIN(TstMeterTable)
#include "tst_metertable.moc"

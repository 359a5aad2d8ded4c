#include "metersini.h"
#include "slotsetup.h"
#include "testfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace kelmar;
using kelmar::test::TestFolder;

using Slots = std::array<SavedSlot, SlotCount>;
Q_DECLARE_METATYPE(Slots)

namespace {

SavedSlot saved(bool on, std::optional<int> id, std::optional<int> decimals, const QString &model,
                const QString &title)
{
    SavedSlot s;
    s.enabled = on;
    s.slaveId = id;
    s.decimals = decimals;
    s.model = model;
    s.title = title;
    return s;
}

// Six set-up slots whose lines are easy to find when cutting the file.
const Slots Six = {
    saved(true, 1, 0, QStringLiteral("VQ2-V     "), QStringLiteral("一號配電盤 電壓")),
    saved(true, 12, 1, QStringLiteral("ZRP-PA    "), QStringLiteral("二號")),
    saved(false, 3, 2, QStringLiteral("溫濕度計      "), QStringLiteral("三號 溫度")),
    saved(true, 247, 4, QStringLiteral("VQ2-A     "), QStringLiteral("四號")),
    saved(true, 5, std::nullopt, QString(), QStringLiteral("五號")),
    saved(false, 7, 3, QStringLiteral("VQ2-V     "), QStringLiteral("六號")),
};

} // namespace

class TstMetersIni : public QObject
{
    Q_OBJECT
private slots:
    // What a typed (or stored) ID or decimal places count gives; -1 = refused.
    void slotNumbers_data()
    {
        QTest::addColumn<bool>("isId");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("ID in the list") << true << "5" << 5;
        QTest::newRow("ID above the list's 20") << true << "25" << 25;
        QTest::newRow("highest slave ID 247") << true << "247" << 247;
        QTest::newRow("ID 248 refused") << true << "248" << -1;
        QTest::newRow("ID 0 (broadcast) refused") << true << "0" << -1;
        QTest::newRow("blanks around taken") << true << " 12 " << 12;
        QTest::newRow("leading zeros taken") << true << "007" << 7;
        QTest::newRow("full-width digits from a Chinese input method") << true << "３５" << 35;
        QTest::newRow("sign refused") << true << "+5" << -1;
        QTest::newRow("decimal point refused") << true << "2.0" << -1;
        QTest::newRow("hexadecimal refused") << true << "0x10" << -1;
        QTest::newRow("empty refused") << true << "" << -1;
        QTest::newRow("4294967297 does not wrap to 1") << true << "4294967297" << -1;
        QTest::newRow("decimals 0") << false << "0" << 0;
        QTest::newRow("decimals 4") << false << "4" << 4;
        QTest::newRow("decimals 5 refused") << false << "5" << -1;
        QTest::newRow("full-width decimals") << false << "２" << 2;
    }
    void slotNumbers()
    {
        QFETCH(bool, isId);
        QFETCH(QString, text);
        QFETCH(int, value);
        const SlotNumber n = isId ? slaveIdFromText(text, 3) : decimalsFromText(text, 3);
        QCOMPARE(n.value.value_or(-1), value);
        QCOMPARE(n.refusal.isEmpty(), value >= 0);
        if (value < 0) {
            // The operator learns which slot, what was typed and what is allowed.
            for (const QString &part : {QStringLiteral("儀表3"), QStringLiteral("slot 3"),
                                        text.trimmed(), QStringLiteral(" 至 ")})
                QVERIFY2(n.refusal.contains(part), qPrintable(n.refusal));
            QVERIFY(
                n.refusal.contains(isId ? QStringLiteral("1 至 247") : QStringLiteral("0 至 4")));
        }
    }

    // Rendered, written whole, read back: the same six slots, byte for byte
    // what was rendered, in UTF-8 with CR LF.
    void roundTrip_data()
    {
        QTest::addColumn<Slots>("meters");
        QTest::newRow("all empty") << Slots{};
        QTest::newRow("Big5-only titles, model names with trailing blanks") << Six;
        Slots other = Six;
        other[0].title = QStringLiteral("Ωmega ü 😀 한국어 ﾊﾝｶｸ");   // none of it in code page 950
        other[1].title = QStringLiteral("a\"b\\c\td\ne\r\\n \"\""); // quotes, escapes, breaks
        other[2].title = QStringLiteral("  blanks around  ");
        other[3].model = QStringLiteral("=[end]#;  ");
        other[4].title = QStringLiteral("[end]");
        other[5].title = QStringLiteral("%1 %2 \\");
        QTest::newRow("non-Big5 titles and awkward characters") << other;
    }
    void roundTrip()
    {
        QFETCH(Slots, meters);
        const QString text = renderMetersIni(meters);
        const MetersIni parsed = parseMetersIni(text);
        QVERIFY2(parsed.problems.isEmpty(), qPrintable(parsed.problems.join('\n')));
        for (int k = 0; k < SlotCount; ++k)
            QVERIFY2(parsed.meters[k] == meters[k], qPrintable(QString::number(k + 1)));

        TestFolder dir;
        const QString path = metersIniPath(dir.path());
        QCOMPARE(path, dir.file(QStringLiteral("meters.ini")));
        QVERIFY(saveMetersIni(path, meters).ok);
        const QByteArray bytes = dir.read(QStringLiteral("meters.ini"));
        QCOMPARE(bytes, text.toUtf8());
        QVERIFY(bytes.endsWith("[end]\r\n"));
        QCOMPARE(bytes.count("\r\n"), bytes.count('\n'));
        const MetersIni loaded = loadMetersIni(path);
        QVERIFY(loaded.problems.isEmpty());
        for (int k = 0; k < SlotCount; ++k)
            QVERIFY(loaded.meters[k] == meters[k]);
    }

    // A damaged file restores the whole slots it has and only those; every
    // other slot starts off and empty, and the operator is told.
    void damaged_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("restored"); // slots of Six that come back
        QTest::addColumn<int>("problems");
        const QString whole = renderMetersIni(Six);
        auto cutAfter = [&](const QString &mark) {
            return whole.left(whole.indexOf(mark) + mark.size());
        };
        QTest::newRow("whole file") << whole << QList<int>{1, 2, 3, 4, 5, 6} << 0;
        QTest::newRow("cut inside slot 3's title")
            << cutAfter(QStringLiteral("title=\"三號")) << QList<int>{1, 2} << 2;
        QTest::newRow("cut inside slot 2's ID (12 would read 1)")
            << whole.left(whole.indexOf(QStringLiteral("id=12")) + 4) << QList<int>{1} << 2;
        QTest::newRow("cut between slots 4 and 5")
            << whole.left(whole.indexOf(QStringLiteral("[slot5]"))) << QList<int>{1, 2, 3, 4} << 1;
        QTest::newRow("cut inside the end line")
            << cutAfter(QStringLiteral("[en")) << QList<int>{1, 2, 3, 4, 5, 6} << 1;
        QTest::newRow("slave ID 300 in slot 4")
            << QString(whole).replace(QStringLiteral("id=247"), QStringLiteral("id=300"))
            << QList<int>{1, 2, 3, 5, 6} << 1;
        QTest::newRow("slots 2 and 5 wrong: one report for both")
            << QString(whole)
                   .replace(QStringLiteral("id=12"), QStringLiteral("id=0"))
                   .replace(QStringLiteral("id=5"), QStringLiteral("id=x"))
            << QList<int>{1, 3, 4, 6} << 1;
        QTest::newRow("stray line in slot 6")
            << QString(whole).replace(QStringLiteral("[slot6]\r\n"),
                                      QStringLiteral("[slot6]\r\nrubbish\r\n"))
            << QList<int>{1, 2, 3, 4, 5} << 1;
        QTest::newRow("bare LF line ends, as an editor may leave them")
            << QString(whole).remove(QLatin1Char('\r')) << QList<int>{1, 2, 3, 4, 5, 6} << 0;
        QTest::newRow("empty file") << QString() << QList<int>{} << 0;
        QTest::newRow("hand-written, unquoted title")
            << QStringLiteral("[slot2]\nenabled=1\nid=12\ndecimals=1\nmodel=\"ZRP-PA    \"\ntitle= "
                              "二號 \n[end]\n")
            << QList<int>{2} << 0;
    }
    void damaged()
    {
        QFETCH(QString, text);
        QFETCH(QList<int>, restored);
        QFETCH(int, problems);
        const MetersIni ini = parseMetersIni(text);
        for (int k = 1; k <= SlotCount; ++k)
            QVERIFY2(ini.meters[k - 1] == (restored.contains(k) ? Six[k - 1] : SavedSlot()),
                     qPrintable(QStringLiteral("slot %1").arg(k)));
        QCOMPARE(ini.problems.size(), problems);
        for (const QString &p : ini.problems)
            QVERIFY2(p.contains(QStringLiteral("meters.ini")) && p.contains(QLatin1Char('(')),
                     qPrintable(p));
    }

    // What lies at meters.ini's place: anything but a UTF-8 regular file
    // gives six empty slots; only a missing file is no problem.
    void fileLayer_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("restored");
        QTest::addColumn<int>("problems");
        QTest::newRow("missing: today's empty start") << "missing" << false << 0;
        QTest::newRow("folder in its place") << "folder" << false << 1;
        QTest::newRow("saved in code page 950 by an editor") << "big5" << false << 1;
        QTest::newRow("UTF-8 with a byte order mark") << "bom" << true << 0;
    }
    void fileLayer()
    {
        QFETCH(QString, kind);
        QFETCH(bool, restored);
        QFETCH(int, problems);
        TestFolder dir;
        const QString path = metersIniPath(dir.path());
        const QByteArray whole = renderMetersIni(Six).toUtf8();
        if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkdir(path));
        else if (kind == QLatin1String("big5"))
            // "二號" is \xa4\x47\xb8\xb9 in code page 950 (Python's cp950 codec).
            QVERIFY(
                dir.write(QStringLiteral("meters.ini"),
                          "[slot2]\r\nenabled=1\r\nid=12\r\ndecimals=1\r\nmodel=\"ZRP-PA    \"\r\n"
                          "title=\"\xa4\x47\xb8\xb9\"\r\n[end]\r\n"));
        else if (kind == QLatin1String("bom"))
            QVERIFY(dir.write(QStringLiteral("meters.ini"), "\xef\xbb\xbf" + whole));
        const MetersIni ini = loadMetersIni(path);
        QCOMPARE(ini.problems.size(), problems);
        for (int k = 0; k < SlotCount; ++k)
            QVERIFY(ini.meters[k] == (restored ? Six[k] : SavedSlot()));
        // Saving over a folder is refused, with the reason for the operator.
        const FileResult r = saveMetersIni(path, Six);
        QCOMPARE(r.ok, kind != QLatin1String("folder"));
        QCOMPARE(r.error.isEmpty(), r.ok);
    }
    // A meters.ini that cannot be read still holds the operator's setup in
    // some form: saving leaves it as it is until a slot is changed, and then
    // it is first kept under a name of its own, never over an older kept
    // one. A long comment does not keep valid slots from being read.
    void unreadableFileKept_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("restored"); // the six slots come back
        QTest::addColumn<QString>("keptAs"); // empty: the file was readable
        QTest::newRow("one Big5 byte in a model name") << "big5" << false << "meters.ini.unreadable";
        QTest::newRow("zero-filled, as a crash may leave it") << "zeros" << false << "meters.ini.unreadable";
        QTest::newRow("beyond any setup's size") << "huge" << false << "meters.ini.unreadable";
        QTest::newRow("older kept copy: the next free name") << "kept" << false << "meters.ini.unreadable-2";
        QTest::newRow("2 MB of comment, a 1 MB line in it, then six slots") << "comment" << true << "";
    }
    void unreadableFileKept()
    {
        QFETCH(QString, kind);
        QFETCH(bool, restored);
        QFETCH(QString, keptAs);
        TestFolder dir;
        const QString path = metersIniPath(dir.path());
        const QByteArray whole = renderMetersIni(Six).toUtf8();
        QByteArray bytes = whole;
        if (kind == QLatin1String("big5") || kind == QLatin1String("kept"))
            bytes.replace("ZRP-PA  ", "ZRP-PA\xb8 ");
        else if (kind == QLatin1String("zeros"))
            bytes = QByteArray(4096, '\0');
        else if (kind == QLatin1String("comment"))
            bytes = QByteArray(1 << 20, '#') + '\n' + QByteArray("# comment\r\n").repeated(80000) + whole;
        QVERIFY(dir.write(QStringLiteral("meters.ini"), bytes));
        if (kind == QLatin1String("huge")) // sparse: no disk taken
            QVERIFY(QFile::resize(path, MetersIniLimit + 1));
        if (kind == QLatin1String("kept"))
            QVERIFY(dir.write(QStringLiteral("meters.ini.unreadable"), "older"));
        const qint64 size = QFileInfo(path).size();

        SlotSetup setup(dir.path()); // no meter.txt: every model is written back as it was
        setup.restore();
        QCOMPARE(setup.savedSlots() == Six, restored);
        QVERIFY(setup.save().ok);
        if (keptAs.isEmpty()) {
            QCOMPARE(dir.read(QStringLiteral("meters.ini")), whole);
            return;
        }
        // Untouched by a save without a change.
        QCOMPARE(QFileInfo(path).size(), size);
        if (kind != QLatin1String("huge"))
            QCOMPARE(dir.read(QStringLiteral("meters.ini")), bytes);

        setup.setTitle(2, QStringLiteral("changed"));
        QVERIFY(setup.save().ok);
        QCOMPARE(QFileInfo(dir.file(keptAs)).size(), size);
        if (kind == QLatin1String("kept"))
            QCOMPARE(dir.read(QStringLiteral("meters.ini.unreadable")), QByteArray("older"));
        for (const QString &name : {path, dir.file(keptAs)})
            QVERIFY2(setup.noticeText().contains(QDir::toNativeSeparators(name)),
                     qPrintable(setup.noticeText()));
        const MetersIni again = loadMetersIni(path);
        QVERIFY(again.problems.isEmpty() && !again.unreadable);
        QCOMPARE(again.meters[1].title, QStringLiteral("changed"));
    }
};

QTEST_MAIN(TstMetersIni)
#include "tst_metersini.moc"

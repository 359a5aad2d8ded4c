#include "form4.h"
#include "findcontrol.h"
#include "testfolder.h"
#include "twips.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "posixfaults.h"

using namespace kelmar;
using kelmar::test::control;
using kelmar::test::TestFolder;

namespace {

// A table of three models in CP950 with CR LF, the last line ended too.
// "溫濕度計" is \xb7\xc5\xc0\xe3\xab\xd7\xad\x70 (Python's cp950 codec).
const QByteArray Table = "ABCDEFGHI 0000,0002,0010,0002,B\r\n"
                         "TENCHARSXY\r\n"
                         "\xb7\xc5\xc0\xe3\xab\xd7\xad\x70      0008,0001,000A,0001,B\r\n";

// Slot k's choices as text: slave ID, decimals, the model's registers and
// counts, flag ("" for what was not chosen).
QStringList items(const Form4 &f, int k)
{
    const MeterSlot s = f.slot(k);
    auto text = [](const std::optional<int> &n) { return n ? QString::number(*n) : QString(); };
    return {text(s.slaveId), text(s.decimals), s.register1, s.count1, s.register2, s.count2, s.flag};
}

QCheckBox *MSCK(const Form4 &f, int k)
{
    return control<QCheckBox>(&f, QStringLiteral("MSCK%1").arg(k));
}
QComboBox *ID(const Form4 &f, int k)
{
    return control<QComboBox>(&f, QStringLiteral("ID%1").arg(k));
}
QComboBox *I(const Form4 &f, int k)
{
    return control<QComboBox>(&f, QStringLiteral("I%1").arg(k));
}
QComboBox *Combo(const Form4 &f, int k)
{
    return control<QComboBox>(&f, QStringLiteral("Combo%1").arg(k));
}
QLineEdit *Text(const Form4 &f, int k)
{
    return control<QLineEdit>(&f, QStringLiteral("Text%1").arg(k));
}

QStringList entries(const QComboBox *c)
{
    QStringList out;
    for (int i = 0; i < c->count(); ++i)
        out << c->itemText(i);
    return out;
}

// What a list does when the operator picks entry i.
void choose(QComboBox *c, int i)
{
    c->setCurrentIndex(i);
    emit c->activated(i);
}

// Types text into a list's edit field and presses Enter, as an operator would.
void typeInto(QComboBox *c, const QString &text)
{
    c->lineEdit()->selectAll();
    QTest::keyClicks(c->lineEdit(), text);
    QTest::keyClick(c->lineEdit(), Qt::Key_Return);
}

} // namespace

class TstForm4 : public QObject
{
    Q_OBJECT
private slots:
    void createdEmpty()
    {
        TestFolder dir;
        QVERIFY(dir.write(QStringLiteral("meter.txt"), Table));
        Form4 f(dir.path());
        QCOMPARE(f.windowTitle(), QStringLiteral("儀表參數設定"));
        QCOMPARE(f.size(), QSize(755, 438));
        QCOMPARE(f.meterLines(),
                 (QStringList{"ABCDEFGHI 0000,0002,0010,0002,B", "TENCHARSXY",
                              "溫濕度計      0008,0001,000A,0001,B", ""}));
        QStringList ids, decimals;
        for (int n = 1; n <= 20; ++n)
            ids << QString::number(n);
        for (int n = 0; n <= 4; ++n)
            decimals << QString::number(n);
        for (int k = 1; k <= 6; ++k) {
            QCOMPARE(MSCK(f, k)->text(), QStringLiteral("儀表%1").arg(k));
            QVERIFY(!MSCK(f, k)->isChecked());
            QCOMPARE(entries(ID(f, k)), ids);
            QCOMPARE(entries(I(f, k)), decimals);
            // Entries in file order, trailing blanks kept, the empty last one too.
            QCOMPARE(entries(Combo(f, k)),
                     (QStringList{"ABCDEFGHI ", "TENCHARSXY", "溫濕度計      ", ""}));
            for (QComboBox *c : {ID(f, k), I(f, k), Combo(f, k)}) {
                QVERIFY(c->isEditable());
                QCOMPARE(c->currentIndex(), -1);
                QVERIFY(c->currentText().isEmpty());
            }
            QVERIFY(Text(f, k)->text().isEmpty());
            QCOMPARE(items(f, k), QStringList(7, QString()));
        }
    }

    void layout_data()
    {
        QTest::addColumn<int>("k");
        for (int k = 1; k <= 6; ++k)
            QTest::addRow("slot %d", k) << k;
    }
    void layout()
    {
        QFETCH(int, k);
        TestFolder dir;
        Form4 f(dir.path());
        const auto *frame = qobject_cast<const QGroupBox *>(MSCK(f, k)->parentWidget());
        QVERIFY(frame);
        QCOMPARE(frame->geometry(), twipsRect(120, 120 + 960 * (k - 1), 11055, 855));
        QVERIFY(frame->title().isEmpty());
        QCOMPARE(MSCK(f, k)->geometry(), twipsRect(120, 240, 1215, 495));
        QCOMPARE(ID(f, k)->pos(), twipsRect(1320, 360, 0, 0).topLeft());
        QCOMPARE(ID(f, k)->width(), px(855));
        QCOMPARE(I(f, k)->pos(), twipsRect(2280, 360, 0, 0).topLeft());
        QCOMPARE(I(f, k)->width(), px(855));
        QCOMPARE(Combo(f, k)->pos(), twipsRect(3240, 360, 0, 0).topLeft());
        QCOMPARE(Combo(f, k)->width(), px(2895));
        QCOMPARE(Text(f, k)->geometry(), twipsRect(6240, 360, 4695, 375));
        for (QWidget *w : {static_cast<QWidget *>(MSCK(f, k)), static_cast<QWidget *>(ID(f, k)),
                           static_cast<QWidget *>(I(f, k)), static_cast<QWidget *>(Combo(f, k)),
                           static_cast<QWidget *>(Text(f, k))})
            QCOMPARE(w->parentWidget(), frame);

        // Captions above the lists; "小數點" stands a little further right in slot 6.
        QMap<QString, QPoint> captions;
        for (const QLabel *l : frame->findChildren<QLabel *>())
            captions.insert(l->text(), l->pos());
        QCOMPARE(captions.value(QStringLiteral("儀表ID")), QPoint(px(1320), px(120)));
        QCOMPARE(captions.value(QStringLiteral("小數點")),
                 QPoint(px(k == 6 ? 2400 : 2280), px(120)));
        QCOMPARE(captions.value(QStringLiteral("型號")), QPoint(px(3240), px(120)));
        QCOMPARE(captions.value(QStringLiteral("資訊輸入")), QPoint(px(6240), px(120)));

        // The choices live behind the controls, not in hidden fields: every
        // control of the frame is seen and lies inside it.
        for (const QWidget *w : frame->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            QVERIFY2(w->isVisibleTo(&f), qPrintable(w->objectName()));
            QVERIFY(frame->rect().contains(w->geometry()));
        }
    }

    void buttonAndNoHiddenText()
    {
        TestFolder dir;
        Form4 f(dir.path());
        const auto *leave = control<QPushButton>(&f, QStringLiteral("Command1"));
        QCOMPARE(leave->text(), QStringLiteral("離開"));
        QCOMPARE(leave->geometry(), twipsRect(120, 5880, 11055, 495));
        // The meter table is no longer kept in an invisible text box.
        QVERIFY(f.findChildren<QPlainTextEdit *>().isEmpty());
    }

    void chooseModel_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QStringList>("registers"); // items 2 to 6
        QTest::newRow("trailing space name")
            << 0 << QStringList{"0000", "0002", "0010", "0002", "B"};
        QTest::newRow("ten-character line: all empty") << 1 << QStringList(5, QString());
        QTest::newRow("Big5 name") << 2 << QStringList{"0008", "0001", "000A", "0001", "B"};
        QTest::newRow("empty last entry empties the items") << 3 << QStringList(5, QString());
    }
    void chooseModel()
    {
        QFETCH(int, index);
        QFETCH(QStringList, registers);
        TestFolder dir;
        QVERIFY(dir.write(QStringLiteral("meter.txt"), Table));
        Form4 f(dir.path());
        choose(ID(f, 5), 6);
        choose(I(f, 5), 2);
        Text(f, 5)->setText(QStringLiteral("title"));
        choose(Combo(f, 5), 2); // something to overwrite
        Combo(f, 5)->setCurrentIndex(index);
        choose(Combo(f, 5), index);
        QCOMPARE(items(f, 5), QStringList({"7", "2"}) + registers);
        // ID, decimals, enable box and title are not touched.
        QVERIFY(!MSCK(f, 5)->isChecked());
        QCOMPARE(Text(f, 5)->text(), QStringLiteral("title"));
        for (int other : {1, 2, 3, 4, 6})
            QCOMPARE(items(f, other), QStringList(7, QString()));
    }

    void sameModelInTwoSlots()
    {
        TestFolder dir;
        QVERIFY(dir.write(QStringLiteral("meter.txt"), Table));
        Form4 f(dir.path());
        choose(Combo(f, 1), 2);
        choose(Combo(f, 2), 2);
        choose(ID(f, 1), 0);
        choose(ID(f, 2), 4);
        QCOMPARE(items(f, 1).mid(2), items(f, 2).mid(2));
        QCOMPARE(items(f, 1)[0], QStringLiteral("1"));
        QCOMPARE(items(f, 2)[0], QStringLiteral("5"));
    }

    // Only an entry chosen from a list counts; typing does nothing, not
    // even a number that is in the list.
    void onlyChosenEntriesCount()
    {
        TestFolder dir;
        QVERIFY(dir.write(QStringLiteral("meter.txt"), Table));
        Form4 f(dir.path());
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));

        typeInto(ID(f, 2), QStringLiteral("25"));
        QVERIFY(items(f, 2)[0].isEmpty());
        QCOMPARE(ID(f, 2)->count(), 20);
        typeInto(ID(f, 2), QStringLiteral("5"));
        QVERIFY(items(f, 2)[0].isEmpty());
        choose(ID(f, 2), 19);
        QCOMPARE(items(f, 2)[0], QStringLiteral("20"));
        typeInto(ID(f, 2), QStringLiteral("3"));
        QCOMPARE(items(f, 2)[0], QStringLiteral("20"));

        typeInto(I(f, 2), QStringLiteral("2"));
        QVERIFY(items(f, 2)[1].isEmpty());
        QCOMPARE(I(f, 2)->count(), 5);
        choose(I(f, 2), 3);
        QCOMPARE(items(f, 2)[1], QStringLiteral("3"));

        typeInto(Combo(f, 2), QStringLiteral("ABCDEFGHI "));
        QCOMPARE(items(f, 2).mid(2), QStringList(5, QString()));
        QCOMPARE(Combo(f, 2)->count(), 4);
    }

    void chosenThroughThePopup()
    {
        TestFolder dir;
        QVERIFY(dir.write(QStringLiteral("meter.txt"), Table));
        Form4 f(dir.path());
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QComboBox *c = Combo(f, 4);
        c->showPopup();
        QAbstractItemView *v = c->view();
        QTRY_VERIFY_WITH_TIMEOUT(v->isVisible(), 10000);
        const QModelIndex entry = v->model()->index(2, 0);
        v->scrollTo(entry);
        QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, v->visualRect(entry).center());
        QTRY_COMPARE_WITH_TIMEOUT(items(f, 4)[6], QStringLiteral("B"), 10000);
        QCOMPARE(items(f, 4)[4], QStringLiteral("000A"));
    }

    // Stepping through a list with the keyboard chooses from the list.
    void keyboardChoiceCounts()
    {
        TestFolder dir;
        Form4 f(dir.path());
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        I(f, 4)->setCurrentIndex(1);
        I(f, 4)->setFocus();
        QTest::keyClick(I(f, 4), Qt::Key_Down);
        QCOMPARE(items(f, 4)[1], QStringLiteral("2"));
    }

    // Every edit of a slot is announced at once, so polling and the display
    // follow it; whether a title reaches the display is tst_form1's case.
    void everyEditIsAnnounced()
    {
        TestFolder dir;
        QVERIFY(dir.write(QStringLiteral("meter.txt"), Table));
        Form4 f(dir.path());
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QSignalSpy spy(&f, &Form4::slotChanged);
        QTest::keyClicks(Text(f, 3), QStringLiteral("ab"));
        MSCK(f, 3)->setChecked(true);
        choose(ID(f, 3), 1);
        choose(I(f, 3), 1);
        choose(Combo(f, 3), 0);
        QCOMPARE(spy.count(), 6);
        for (const QList<QVariant> &args : spy)
            QCOMPARE(args.at(0).toInt(), 3);
        const MeterSlot s = f.slot(3);
        QVERIFY(s.enabled);
        QCOMPARE(s.title, QStringLiteral("ab"));
        QVERIFY(s.hasSecondValue());
    }

    void leaveAndShowKeepChoices()
    {
        TestFolder dir;
        QVERIFY(dir.write(QStringLiteral("meter.txt"), Table));
        Form4 f(dir.path());
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        MSCK(f, 6)->setChecked(true);
        choose(ID(f, 6), 11);
        choose(Combo(f, 6), 0);
        Text(f, 6)->setText(QStringLiteral("東側"));
        QTest::mouseClick(control<QPushButton>(&f, QStringLiteral("Command1")), Qt::LeftButton);
        QVERIFY(!f.isVisible());
        f.show();
        QVERIFY(MSCK(f, 6)->isChecked());
        QCOMPARE(ID(f, 6)->currentText(), QStringLiteral("12"));
        QCOMPARE(items(f, 6), (QStringList{"12", "", "0000", "0002", "0010", "0002", "B"}));
        QCOMPARE(Text(f, 6)->text(), QStringLiteral("東側"));
    }

    void lfOnlyTableIsOneEntry()
    {
        TestFolder dir;
        QVERIFY(dir.write(QStringLiteral("meter.txt"),
                          "VQ2-V     0000,0001,0000,0000,A\nVQ2-A     0002,0001,0000,0000,A\n"));
        Form4 f(dir.path());
        QCOMPARE(entries(Combo(f, 1)), QStringList{"VQ2-V     "});
        choose(Combo(f, 1), 0);
        QCOMPARE(items(f, 1).mid(2), (QStringList{"0000", "0001", "0000", "0000", "A"}));
    }

    void missingTableIsCreatedEmpty()
    {
        TestFolder dir;
        QVERIFY(!QFile::exists(dir.file(QStringLiteral("meter.txt"))));
        Form4 f(dir.path());
        QVERIFY(QFile::exists(dir.file(QStringLiteral("meter.txt"))));
        QCOMPARE(QFileInfo(dir.file(QStringLiteral("meter.txt"))).size(), 0);
        QCOMPARE(Combo(f, 1)->count(), 0);
        QVERIFY(f.meterLines().isEmpty());
        QCOMPARE(ID(f, 1)->count(), 20);
    }

    void missingFolderGivesEmptyLists()
    {
        TestFolder dir;
        Form4 f(dir.file(QStringLiteral("no/such/folder")));
        QCOMPARE(Combo(f, 1)->count(), 0);
        QCOMPARE(I(f, 6)->count(), 5);
    }

    // A table that exists but cannot be read gives no models, at once.
    void unreadableTable_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("folder named meter.txt") << "folder";
        QTest::newRow("pipe named meter.txt (would block a reader)") << "fifo";
        QTest::newRow("no read permission") << "permission";
    }
    void unreadableTable()
    {
        QFETCH(QString, kind);
        TestFolder dir;
        const QString path = dir.file(QStringLiteral("meter.txt"));
        if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkdir(path));
        } else if (kind == QLatin1String("fifo")) {
            if (!kelmar::test::CanMakePosixFaults)
                QSKIP("Windows has no named pipes in the file system");
            QVERIFY(kelmar::test::makeFifo(path));
        } else {
            QVERIFY(dir.write(QStringLiteral("meter.txt"), Table));
#ifdef Q_OS_WIN
            QSKIP("Windows file attributes cannot take the owner's read permission away");
#endif
            QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
            if (kelmar::test::runningAsRoot())
                QSKIP("root reads any file");
        }
        Form4 f(dir.path());
        QCOMPARE(Combo(f, 3)->count(), 0);
        QVERIFY(f.meterLines().isEmpty());
        QCOMPARE(ID(f, 3)->count(), 20);
    }

    void fileContentDecodesCp950()
    {
        TestFolder dir;
        QVERIFY(dir.write(QStringLiteral("t.txt"), "\xab\xd8\xa5\xdf\r\nA\xff"));
        QCOMPARE(Form4::FileContent(dir.file(QStringLiteral("t.txt"))),
                 QStringLiteral("建立\r\nA\uFFFD"));
    }

    void shippedTable()
    {
        TestFolder dir;
        QVERIFY(dir.copyDist());
        Form4 f(dir.path());
        const QStringList models = entries(Combo(f, 1));
        QVERIFY(models.size() >= 2);
        bool sawA = false, sawB = false;
        for (int i = 0; i < models.size(); ++i) {
            QCOMPARE(models[i].size(), 10);
            choose(Combo(f, 1), i);
            const QString flag = items(f, 1)[6];
            sawA = sawA || flag == QLatin1String("A");
            sawB = sawB || flag == QLatin1String("B");
            for (int item = 2; item <= 5; ++item) {
                bool ok = false;
                QCOMPARE(items(f, 1)[item].size(), 4);
                items(f, 1)[item].toInt(&ok, 16);
                QVERIFY(ok);
            }
        }
        QVERIFY(sawA && sawB);
    }

    // Set KELMAR_GRAB_DIR to keep a picture of the window.
    void grab()
    {
        TestFolder dir;
        QVERIFY(dir.copyDist());
        Form4 f(dir.path());
        MSCK(f, 1)->setChecked(true);
        ID(f, 1)->setCurrentIndex(0);
        I(f, 1)->setCurrentIndex(1);
        Combo(f, 1)->setCurrentIndex(3);
        Text(f, 1)->setText(QStringLiteral("一號配電盤 電壓/電流"));
        const QImage shot = f.grab().toImage();
        QCOMPARE(shot.size(), QSize(755, 438));
        if (const QByteArray out = qgetenv("KELMAR_GRAB_DIR"); !out.isEmpty())
            shot.save(QString::fromLocal8Bit(out) + QStringLiteral("/form4.png"));
    }
};

QTEST_MAIN(TstForm4)
#include "tst_form4.moc"

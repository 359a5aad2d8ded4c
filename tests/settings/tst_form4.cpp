#include "form4.h"
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

#include <sys/stat.h>
#include <unistd.h>

using namespace kelmar;
using kelmar::test::TestFolder;

namespace {

// A table of three models in CP950 with CR LF, the last line ended too.
// "溫濕度計" is \xb7\xc5\xc0\xe3\xab\xd7\xad\x70 (Python's cp950 codec).
const QByteArray Table = "ABCDEFGHI 0000,0002,0010,0002,B\r\n"
                         "TENCHARSXY\r\n"
                         "\xb7\xc5\xc0\xe3\xab\xd7\xad\x70      0008,0001,000A,0001,B\r\n";

QStringList items(Form4 &f, int k)
{
    QStringList out;
    for (int item = 0; item < 7; ++item)
        out << f.MS(k, item)->text();
    return out;
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
        QCOMPARE(f.meter_lines.size(), 4);
        QCOMPARE(f.meter_setup->toPlainText(),
                 QStringLiteral("ABCDEFGHI 0000,0002,0010,0002,B\nTENCHARSXY\n"
                                "溫濕度計      0008,0001,000A,0001,B\n"));
        QStringList ids, decimals;
        for (int n = 1; n <= 20; ++n)
            ids << QString::number(n);
        for (int n = 0; n <= 4; ++n)
            decimals << QString::number(n);
        for (int k = 1; k <= 6; ++k) {
            QCOMPARE(f.MSCK(k)->text(), QStringLiteral("儀表%1").arg(k));
            QVERIFY(!f.MSCK(k)->isChecked());
            QCOMPARE(entries(f.ID(k)), ids);
            QCOMPARE(entries(f.I(k)), decimals);
            // Entries in file order, trailing blanks kept, the empty last one too.
            QCOMPARE(entries(f.Combo(k)),
                     (QStringList{"ABCDEFGHI ", "TENCHARSXY", "溫濕度計      ", ""}));
            for (QComboBox *c : {f.ID(k), f.I(k), f.Combo(k)}) {
                QVERIFY(c->isEditable());
                QCOMPARE(c->currentIndex(), -1);
                QVERIFY(c->currentText().isEmpty());
            }
            QVERIFY(f.Text(k)->text().isEmpty());
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
        const QGroupBox *frame = f.Frame(k);
        QCOMPARE(frame->geometry(), twipsRect(120, 120 + 960 * (k - 1), 11055, 855));
        QVERIFY(frame->title().isEmpty());
        QCOMPARE(f.MSCK(k)->geometry(), twipsRect(120, 240, 1215, 495));
        QCOMPARE(f.ID(k)->pos(), twipsRect(1320, 360, 0, 0).topLeft());
        QCOMPARE(f.ID(k)->width(), px(855));
        QCOMPARE(f.I(k)->pos(), twipsRect(2280, 360, 0, 0).topLeft());
        QCOMPARE(f.I(k)->width(), px(855));
        QCOMPARE(f.Combo(k)->pos(), twipsRect(3240, 360, 0, 0).topLeft());
        QCOMPARE(f.Combo(k)->width(), px(2895));
        QCOMPARE(f.Text(k)->geometry(), twipsRect(6240, 360, 4695, 375));
        for (QWidget *w : {static_cast<QWidget *>(f.MSCK(k)), static_cast<QWidget *>(f.ID(k)),
                           static_cast<QWidget *>(f.I(k)), static_cast<QWidget *>(f.Combo(k)),
                           static_cast<QWidget *>(f.Text(k))})
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

        // The hidden items lie right of the frame's width and are never seen.
        for (int item = 0; item < 7; ++item) {
            QVERIFY(f.MS(k, item)->x() >= frame->width());
            QVERIFY(!f.MS(k, item)->isVisibleTo(&f));
        }
    }

    void buttonAndHiddenText()
    {
        TestFolder dir;
        Form4 f(dir.path());
        QCOMPARE(f.Command1->text(), QStringLiteral("離開"));
        QCOMPARE(f.Command1->geometry(), twipsRect(120, 5880, 11055, 495));
        QVERIFY(f.meter_setup->y() >= f.height());
        QVERIFY(!f.meter_setup->isVisibleTo(&f));
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
        f.MS(5, 0)->setText(QStringLiteral("7"));
        f.MS(5, 1)->setText(QStringLiteral("2"));
        f.Text(5)->setText(QStringLiteral("title"));
        choose(f.Combo(5), 2); // something to overwrite
        f.Combo(5)->setCurrentIndex(index);
        choose(f.Combo(5), index);
        QCOMPARE(items(f, 5), QStringList({"7", "2"}) + registers);
        // ID, decimals, enable box and title are not touched.
        QVERIFY(!f.MSCK(5)->isChecked());
        QCOMPARE(f.Text(5)->text(), QStringLiteral("title"));
        for (int other : {1, 2, 3, 4, 6})
            QCOMPARE(items(f, other), QStringList(7, QString()));
    }

    void sameModelInTwoSlots()
    {
        TestFolder dir;
        QVERIFY(dir.write(QStringLiteral("meter.txt"), Table));
        Form4 f(dir.path());
        choose(f.Combo(1), 2);
        choose(f.Combo(2), 2);
        choose(f.ID(1), 0);
        choose(f.ID(2), 4);
        QCOMPARE(items(f, 1).mid(2), items(f, 2).mid(2));
        QCOMPARE(f.MS(1, 0)->text(), QStringLiteral("1"));
        QCOMPARE(f.MS(2, 0)->text(), QStringLiteral("5"));
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

        typeInto(f.ID(2), QStringLiteral("25"));
        QVERIFY(f.MS(2, 0)->text().isEmpty());
        QCOMPARE(f.ID(2)->count(), 20);
        typeInto(f.ID(2), QStringLiteral("5"));
        QVERIFY(f.MS(2, 0)->text().isEmpty());
        choose(f.ID(2), 19);
        QCOMPARE(f.MS(2, 0)->text(), QStringLiteral("20"));
        typeInto(f.ID(2), QStringLiteral("3"));
        QCOMPARE(f.MS(2, 0)->text(), QStringLiteral("20"));

        typeInto(f.I(2), QStringLiteral("2"));
        QVERIFY(f.MS(2, 1)->text().isEmpty());
        QCOMPARE(f.I(2)->count(), 5);
        choose(f.I(2), 3);
        QCOMPARE(f.MS(2, 1)->text(), QStringLiteral("3"));

        typeInto(f.Combo(2), QStringLiteral("ABCDEFGHI "));
        QCOMPARE(items(f, 2).mid(2), QStringList(5, QString()));
        QCOMPARE(f.Combo(2)->count(), 4);
    }

    void chosenThroughThePopup()
    {
        TestFolder dir;
        QVERIFY(dir.write(QStringLiteral("meter.txt"), Table));
        Form4 f(dir.path());
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QComboBox *c = f.Combo(4);
        c->showPopup();
        QAbstractItemView *v = c->view();
        QTRY_VERIFY_WITH_TIMEOUT(v->isVisible(), 10000);
        const QModelIndex entry = v->model()->index(2, 0);
        v->scrollTo(entry);
        QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, v->visualRect(entry).center());
        QTRY_COMPARE_WITH_TIMEOUT(f.MS(4, 6)->text(), QStringLiteral("B"), 10000);
        QCOMPARE(f.MS(4, 4)->text(), QStringLiteral("000A"));
    }

    // Stepping through a list with the keyboard chooses from the list.
    void keyboardChoiceCounts()
    {
        TestFolder dir;
        Form4 f(dir.path());
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        f.I(4)->setCurrentIndex(1);
        f.I(4)->setFocus();
        QTest::keyClick(f.I(4), Qt::Key_Down);
        QCOMPARE(f.MS(4, 1)->text(), QStringLiteral("2"));
    }

    void titleEdits_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::newRow("slot enabled: copied") << true;
        QTest::newRow("slot off: not copied") << false;
    }
    void titleEdits()
    {
        QFETCH(bool, enabled);
        TestFolder dir;
        Form4 f(dir.path());
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        f.MSCK(3)->setChecked(enabled);
        QSignalSpy spy(&f, &Form4::titleEdited);
        QTest::keyClicks(f.Text(3), QStringLiteral("ab"));
        if (enabled) {
            QCOMPARE(spy.count(), 2);
            QCOMPARE(spy.last().at(0).toInt(), 3);
            QCOMPARE(spy.last().at(1).toString(), QStringLiteral("ab"));
        } else {
            QCOMPARE(spy.count(), 0);
            // Ticking the box later does not copy the text either.
            f.MSCK(3)->setChecked(true);
            QCOMPARE(spy.count(), 0);
        }
    }

    void leaveAndShowKeepChoices()
    {
        TestFolder dir;
        QVERIFY(dir.write(QStringLiteral("meter.txt"), Table));
        Form4 f(dir.path());
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        f.MSCK(6)->setChecked(true);
        choose(f.ID(6), 11);
        choose(f.Combo(6), 0);
        f.Text(6)->setText(QStringLiteral("東側"));
        QTest::mouseClick(f.Command1, Qt::LeftButton);
        QVERIFY(!f.isVisible());
        f.show();
        QVERIFY(f.MSCK(6)->isChecked());
        QCOMPARE(f.ID(6)->currentText(), QStringLiteral("12"));
        QCOMPARE(items(f, 6), (QStringList{"12", "", "0000", "0002", "0010", "0002", "B"}));
        QCOMPARE(f.Text(6)->text(), QStringLiteral("東側"));
    }

    void lfOnlyTableIsOneEntry()
    {
        TestFolder dir;
        QVERIFY(dir.write(QStringLiteral("meter.txt"),
                          "VQ2-V     0000,0001,0000,0000,A\nVQ2-A     0002,0001,0000,0000,A\n"));
        Form4 f(dir.path());
        QCOMPARE(entries(f.Combo(1)), QStringList{"VQ2-V     "});
        choose(f.Combo(1), 0);
        QCOMPARE(items(f, 1).mid(2), (QStringList{"0000", "0001", "0000", "0000", "A"}));
    }

    void missingTableIsCreatedEmpty()
    {
        TestFolder dir;
        QVERIFY(!QFile::exists(dir.file(QStringLiteral("meter.txt"))));
        Form4 f(dir.path());
        QVERIFY(QFile::exists(dir.file(QStringLiteral("meter.txt"))));
        QCOMPARE(QFileInfo(dir.file(QStringLiteral("meter.txt"))).size(), 0);
        QCOMPARE(f.Combo(1)->count(), 0);
        QVERIFY(f.meter_lines.isEmpty());
        QCOMPARE(f.ID(1)->count(), 20);
    }

    void missingFolderGivesEmptyLists()
    {
        TestFolder dir;
        Form4 f(dir.file(QStringLiteral("no/such/folder")));
        QCOMPARE(f.Combo(1)->count(), 0);
        QCOMPARE(f.I(6)->count(), 5);
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
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else {
            QVERIFY(dir.write(QStringLiteral("meter.txt"), Table));
            QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
            if (::geteuid() == 0)
                QSKIP("root reads any file");
        }
        Form4 f(dir.path());
        QCOMPARE(f.Combo(3)->count(), 0);
        QVERIFY(f.meter_lines.isEmpty());
        QVERIFY(f.meter_setup->toPlainText().isEmpty());
        QCOMPARE(f.ID(3)->count(), 20);
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
        const QStringList models = entries(f.Combo(1));
        QVERIFY(models.size() >= 2);
        bool sawA = false, sawB = false;
        for (int i = 0; i < models.size(); ++i) {
            QCOMPARE(models[i].size(), 10);
            choose(f.Combo(1), i);
            const QString flag = f.MS(1, 6)->text();
            sawA = sawA || flag == QLatin1String("A");
            sawB = sawB || flag == QLatin1String("B");
            for (int item = 2; item <= 5; ++item) {
                bool ok = false;
                QCOMPARE(f.MS(1, item)->text().size(), 4);
                f.MS(1, item)->text().toInt(&ok, 16);
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
        f.MSCK(1)->setChecked(true);
        f.ID(1)->setCurrentIndex(0);
        f.I(1)->setCurrentIndex(1);
        f.Combo(1)->setCurrentIndex(3);
        f.Text(1)->setText(QStringLiteral("一號配電盤 電壓/電流"));
        const QImage shot = f.grab().toImage();
        QCOMPARE(shot.size(), QSize(755, 438));
        if (const QByteArray out = qgetenv("KELMAR_GRAB_DIR"); !out.isEmpty())
            shot.save(QString::fromLocal8Bit(out) + QStringLiteral("/form4.png"));
    }
};

QTEST_MAIN(TstForm4)
#include "tst_form4.moc"

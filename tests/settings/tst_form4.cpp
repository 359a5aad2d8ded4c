#include "form4.h"
#include "findcontrol.h"
#include "testfolder.h"
#include "twips.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QInputMethodEvent>
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

// A table of two models in CP950 with CR LF, the last line ended too.
// "溫濕度計" is \xb7\xc5\xc0\xe3\xab\xd7\xad\x70 (Python's cp950 codec).
const QByteArray Table = "ABCDEFGHI 0000,0002,0010,0002,B\r\n"
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

// Types text into a field as the operator does: keys, or what a Chinese
// input method commits for anything beyond Latin-1.
void typeText(QLineEdit *e, const QString &text)
{
    bool latin1 = true;
    for (const QChar ch : text)
        latin1 = latin1 && ch.unicode() < 0x100;
    if (latin1) {
        QTest::keyClicks(e, text);
        return;
    }
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QCoreApplication::sendEvent(e, &commit);
}

} // namespace

class TstForm4 : public QObject
{
    Q_OBJECT
private slots:
    void createdEmpty()
    {
        TestFolder dir;
        // A line with no register text would be polled at register 0: it is
        // not offered, and the problem line names it.
        QVERIFY(dir.write(QStringLiteral("meter.txt"),
                          Table.left(33) + "TENCHARSXY\r\n" + Table.mid(33)));
        Form4 f(dir.path());
        QCOMPARE(f.windowTitle(), QStringLiteral("儀表參數設定"));
        QCOMPARE(f.size(), QSize(755, 470));
        QCOMPARE(f.meterLines(), (QStringList{"ABCDEFGHI 0000,0002,0010,0002,B",
                                              "溫濕度計      0008,0001,000A,0001,B"}));
        const QString problem = control<QLabel>(&f, QStringLiteral("Problem"))->text();
        QVERIFY2(problem.contains(QStringLiteral("meter.txt")) && problem.contains(u'2'),
                 qPrintable(problem));
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
            // Entries in file order, trailing blanks kept.
            QCOMPARE(entries(Combo(f, k)), (QStringList{"ABCDEFGHI ", "溫濕度計      "}));
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
    // Each slot's frame and controls keep the rules of the window's layout
    // (its table is checked by these, not copied): frames stacked at one
    // pitch without overlap, controls left to right on one line, each list
    // under its caption.
    void layout()
    {
        QFETCH(int, k);
        TestFolder dir;
        Form4 f(dir.path());
        const auto *frame = qobject_cast<const QGroupBox *>(MSCK(f, k)->parentWidget());
        QVERIFY(frame);
        QVERIFY(frame->title().isEmpty());
        QVERIFY(f.rect().contains(frame->geometry()));
        const QRect first = MSCK(f, 1)->parentWidget()->geometry();
        const int pitch = MSCK(f, 2)->parentWidget()->y() - first.y();
        QVERIFY(pitch > first.height());
        QCOMPARE(frame->geometry(), first.translated(0, pitch * (k - 1)));

        const QList<QWidget *> row{MSCK(f, k), ID(f, k), I(f, k), Combo(f, k), Text(f, k)};
        for (int i = 0; i < row.size(); ++i) {
            QCOMPARE(row[i]->parentWidget(), frame);
            // Neighbours may share a pixel column where twips round.
            if (i > 0)
                QVERIFY2(row[i - 1]->geometry().right() <= row[i]->x(),
                         qPrintable(row[i]->objectName()));
            if (i > 1)
                QCOMPARE(row[i]->y(), row[1]->y());
        }
        QVERIFY(MSCK(f, k)->geometry().top() <= ID(f, k)->geometry().bottom());
        QVERIFY(MSCK(f, k)->geometry().bottom() >= ID(f, k)->y());
        QCOMPARE(I(f, k)->width(), ID(f, k)->width());

        // Captions above the lists, flush with their left edges; "小數點"
        // stands a little further right in slot 6, still over its list.
        QMap<QString, QRect> captions;
        for (const QLabel *l : frame->findChildren<QLabel *>())
            captions.insert(l->text(), l->geometry());
        const QList<std::pair<QString, QWidget *>> captioned{
            {QStringLiteral("儀表ID"), ID(f, k)},
            {QStringLiteral("小數點"), I(f, k)},
            {QStringLiteral("型號"), Combo(f, k)},
            {QStringLiteral("資訊輸入"), Text(f, k)}};
        for (const auto &[caption, list] : captioned) {
            QVERIFY2(captions.contains(caption), qPrintable(caption));
            const QRect c = captions.value(caption);
            QVERIFY(c.bottom() < list->y());
            QCOMPARE(c.top(), captions.value(QStringLiteral("儀表ID")).top());
            if (k == 6 && caption == QStringLiteral("小數點"))
                QVERIFY(c.left() > list->x() && c.left() < list->geometry().right());
            else
                QCOMPARE(c.left(), list->x());
        }

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
        // The problem line under it, empty while all is well.
        const auto *problem = control<QLabel>(&f, QStringLiteral("Problem"));
        QCOMPARE(problem->geometry(), twipsRect(120, 6450, 11055, 480));
        QVERIFY(problem->text().isEmpty());
        QVERIFY(problem->wordWrap());
        // The meter table is no longer kept in an invisible text box.
        QVERIFY(f.findChildren<QPlainTextEdit *>().isEmpty());
    }

    void chooseModel_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QStringList>("registers"); // items 2 to 6
        QTest::newRow("trailing space name")
            << 0 << QStringList{"0000", "0002", "0010", "0002", "B"};
        QTest::newRow("Big5 name") << 1 << QStringList{"0008", "0001", "000A", "0001", "B"};
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
        choose(Combo(f, 5), 1 - index); // something to overwrite
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
        choose(Combo(f, 1), 1);
        choose(Combo(f, 2), 1);
        choose(ID(f, 1), 0);
        choose(ID(f, 2), 4);
        QCOMPARE(items(f, 1).mid(2), items(f, 2).mid(2));
        QCOMPARE(items(f, 1)[0], QStringLiteral("1"));
        QCOMPARE(items(f, 2)[0], QStringLiteral("5"));
    }

    // A typed ID, decimal places count or model name counts exactly as a
    // pick once typing ends (Enter or the focus gone); anything else is
    // refused: the field shows the value in force again and the problem line
    // says why. The field never shows a value the slot does not use.
    void typedValues_data()
    {
        QTest::addColumn<QString>("list");   // "ID", "I" or "Combo"
        QTest::addColumn<int>("picked");     // entry picked first, -1 none
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("byEnter");   // else by moving the focus on
        QTest::addColumn<QString>("inForce"); // the slot's item afterwards
        QTest::addColumn<QString>("shown");  // the field's text afterwards
        QTest::addColumn<bool>("refused");
        QTest::newRow("ID 25, above the list, taken") << "ID" << -1 << "25" << true << "25" << "25" << false;
        QTest::newRow("ID 5 typed as the list has it") << "ID" << 19 << "5" << false << "5" << "5" << false;
        QTest::newRow("ID 247 taken on leaving the field") << "ID" << -1 << "247" << false << "247" << "247" << false;
        QTest::newRow("ID 300 refused, none in force") << "ID" << -1 << "300" << true << "" << "" << true;
        QTest::newRow("ID 300 refused, 20 stays") << "ID" << 19 << "300" << true << "20" << "20" << true;
        QTest::newRow("ID 0 refused on leaving the field") << "ID" << 2 << "0" << false << "3" << "3" << true;
        QTest::newRow("full-width ID shown as used") << "ID" << -1 << "１２" << true << "12" << "12" << false;
        QTest::newRow("decimals 3 taken") << "I" << -1 << "3" << true << "3" << "3" << false;
        QTest::newRow("decimals 5 refused, 2 stays") << "I" << 2 << "5" << true << "2" << "2" << true;
        QTest::newRow("decimals -1 refused on leaving") << "I" << 1 << "-1" << false << "1" << "1" << true;
        QTest::newRow("unknown model refused") << "Combo" << 0 << "XYZ" << true << "B" << "ABCDEFGHI " << true;
        QTest::newRow("model typed with its whole name")
            << "Combo" << -1 << "ABCDEFGHI " << false << "B" << "ABCDEFGHI " << false;
        QTest::newRow("model name without its trailing blank refused")
            << "Combo" << -1 << "ABCDEFGHI" << true << "" << "" << true;
    }
    void typedValues()
    {
        QFETCH(QString, list);
        QFETCH(int, picked);
        QFETCH(QString, typed);
        QFETCH(bool, byEnter);
        QFETCH(QString, inForce);
        QFETCH(QString, shown);
        QFETCH(bool, refused);
        TestFolder dir;
        QVERIFY(dir.write(QStringLiteral("meter.txt"), Table));
        Form4 f(dir.path());
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QComboBox *c = control<QComboBox>(&f, list + QStringLiteral("2"));
        const int item = list == QLatin1String("ID") ? 0 : list == QLatin1String("I") ? 1 : 6;
        if (picked >= 0)
            choose(c, picked);
        const QString before = items(f, 2)[item];
        QSignalSpy changed(&f, &Form4::slotChanged);
        QSignalSpy notice(&f, &Form4::noticeChanged);

        c->lineEdit()->setFocus();
        c->lineEdit()->selectAll();
        typeText(c->lineEdit(), typed);
        if (byEnter)
            QTest::keyClick(c->lineEdit(), Qt::Key_Return);
        else
            Text(f, 1)->setFocus(); // the operator moves on

        QCOMPARE(items(f, 2)[item], inForce);
        QCOMPARE(c->currentText(), shown);
        QCOMPARE(changed.count(), inForce != before ? 1 : 0);
        const auto *problem = control<QLabel>(&f, QStringLiteral("Problem"));
        QCOMPARE(problem->text(), f.noticeText());
        QCOMPARE(!problem->text().isEmpty(), refused);
        if (refused) {
            QVERIFY2(problem->text().contains(QStringLiteral("儀表2")) && problem->text().contains(typed),
                     qPrintable(problem->text()));
            QCOMPARE(notice.count(), 1);
            // The next value taken clears the report.
            choose(c, 1);
            QVERIFY(problem->text().isEmpty());
        }
        // A pick from the list still counts after typing.
        choose(c, 0);
        QCOMPARE(items(f, 2)[item], list == QLatin1String("Combo") ? QStringLiteral("B") : c->itemText(0));
        for (int other : {1, 3, 4, 5, 6})
            QCOMPARE(items(f, other), QStringList(7, QString()));
    }

    // meters.ini brings the slots back at start-up and hands each one on as
    // the operator's own choices are; what cannot be restored is told.
    void restoredAtStart_data()
    {
        QTest::addColumn<QByteArray>("ini"); // slot 3 only; empty = no file
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QString>("model"); // the model field's text
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("notice"); // a part of the problem line
        const QByteArray head = "[slot3]\r\nenabled=1\r\nid=25\r\ndecimals=2\r\n";
        QTest::newRow("whole slot, ID above the list, non-Big5 title")
            << head + QStringLiteral("model=\"溫濕度計      \"\r\ntitle=\"三 😀\"\r\n[end]\r\n").toUtf8()
            << true << QStringList{"25", "2", "0008", "0001", "000A", "0001", "B"}
            << QStringLiteral("溫濕度計      ") << QStringLiteral("三 😀") << QString();
        QTest::newRow("model no longer in meter.txt: slot off")
            << head + "model=\"OLD-MODEL \"\r\ntitle=\"x\"\r\n[end]\r\n"
            << false << QStringList{"25", "2", "", "", "", "", ""} << QString() << QStringLiteral("x")
            << QStringLiteral("OLD-MODEL");
        QTest::newRow("file cut inside the slot")
            << head + "model=\"ABCDEFGHI \"\r\ntitle=\"x" << false << QStringList(7, QString())
            << QString() << QString() << QStringLiteral("儀表3");
        QTest::newRow("no meters.ini: all off and empty")
            << QByteArray() << false << QStringList(7, QString()) << QString() << QString() << QString();
    }
    void restoredAtStart()
    {
        QFETCH(QByteArray, ini);
        QFETCH(bool, enabled);
        QFETCH(QStringList, items);
        QFETCH(QString, model);
        QFETCH(QString, title);
        QFETCH(QString, notice);
        TestFolder dir;
        QVERIFY(dir.write(QStringLiteral("meter.txt"), Table));
        if (!ini.isEmpty())
            QVERIFY(dir.write(QStringLiteral("meters.ini"), ini));
        Form4 f(dir.path());
        QSignalSpy changed(&f, &Form4::slotChanged);
        f.restoreSlots();
        QCOMPARE(changed.count(), 6); // every slot handed on once, whole
        QCOMPARE(changed.at(2).at(0).toInt(), 3);
        QCOMPARE(f.slot(3).enabled, enabled);
        QCOMPARE(MSCK(f, 3)->isChecked(), enabled);
        QCOMPARE(::items(f, 3), items);
        // The fields show exactly what is in force.
        QCOMPARE(ID(f, 3)->currentText(), items[0]);
        QCOMPARE(I(f, 3)->currentText(), items[1]);
        QCOMPARE(Combo(f, 3)->currentText(), model);
        QCOMPARE(Text(f, 3)->text(), title);
        QCOMPARE(f.slot(3).title, title);
        for (int other : {1, 2, 4, 5, 6})
            QCOMPARE(::items(f, other), QStringList(7, QString()));
        QCOMPARE(f.noticeText().isEmpty(), notice.isEmpty());
        QVERIFY2(f.noticeText().contains(notice), qPrintable(f.noticeText()));
        QCOMPARE(control<QLabel>(&f, QStringLiteral("Problem"))->text(), f.noticeText());
        // A model gone from meter.txt is written back as it was, so a start
        // with a broken meter.txt does not wipe the slot.
        const SavedSlot kept = f.savedSlots()[2];
        QCOMPARE(kept.model.isEmpty(), model.isEmpty() && !notice.contains(QStringLiteral("OLD")));
        if (notice.contains(QStringLiteral("OLD")))
            QVERIFY(kept.enabled && kept.model == QStringLiteral("OLD-MODEL "));
        if (!notice.isEmpty()) {
            // Choosing a model for the slot and a good save settle every report.
            choose(Combo(f, 3), 0);
            QVERIFY(f.saveSlots().ok);
            QVERIFY(f.noticeText().isEmpty());
            QCOMPARE(f.savedSlots()[2].model, QStringLiteral("ABCDEFGHI "));
            QCOMPARE(f.savedSlots()[2].enabled, false);
        }
    }

    // Leaving the window writes meters.ini whole; the next start restores
    // every slot as it was set, typed or picked.
    void slotsSurviveARestart_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("left with 離開") << "button";
        QTest::newRow("closed through the frame") << "close";
        QTest::newRow("meters.ini is a folder: refused, told") << "folder";
    }
    void slotsSurviveARestart()
    {
        QFETCH(QString, how);
        TestFolder dir;
        QVERIFY(dir.write(QStringLiteral("meter.txt"), Table));
        const QString path = dir.file(QStringLiteral("meters.ini"));
        if (how == QLatin1String("folder"))
            QVERIFY(QDir().mkdir(path));
        QList<QStringList> before;
        {
            Form4 f(dir.path());
            f.show();
            QVERIFY(QTest::qWaitForWindowExposed(&f));
            const char *const ids[] = {"1", "25", "247", "7", "13", "200"};
            for (int k = 1; k <= 6; ++k) {
                MSCK(f, k)->setChecked(k % 2 == 1);
                ID(f, k)->lineEdit()->setFocus();
                QTest::keyClicks(ID(f, k)->lineEdit(), QString::fromLatin1(ids[k - 1]));
                QTest::keyClick(ID(f, k)->lineEdit(), Qt::Key_Return);
                choose(I(f, k), k % 5);
                choose(Combo(f, k), (k + 1) % 2);
                Text(f, k)->setText(k == 2 ? QStringLiteral("二號 Ωmega 😀") : QStringLiteral("儀表%1").arg(k));
            }
            if (how == QLatin1String("close")) {
                // Typing not yet ended counts when the window is closed.
                ID(f, 6)->lineEdit()->setFocus();
                ID(f, 6)->lineEdit()->selectAll();
                QTest::keyClicks(ID(f, 6)->lineEdit(), QStringLiteral("99"));
                f.close();
            } else {
                QTest::mouseClick(control<QPushButton>(&f, QStringLiteral("Command1")), Qt::LeftButton);
            }
            QVERIFY(!f.isVisible());
            for (int k = 1; k <= 6; ++k)
                before << ::items(f, k) << QStringList{f.slot(k).title, f.slot(k).enabled ? "on" : "off"};
            QCOMPARE(before[2][0], QStringLiteral("25"));
            if (how == QLatin1String("folder")) {
                QVERIFY2(f.noticeText().contains(QDir::toNativeSeparators(path)), qPrintable(f.noticeText()));
                QVERIFY(QFileInfo(path).isDir());
                return;
            }
            QVERIFY(f.noticeText().isEmpty());
        }
        Form4 again(dir.path());
        again.restoreSlots();
        QList<QStringList> after;
        for (int k = 1; k <= 6; ++k)
            after << ::items(again, k)
                  << QStringList{again.slot(k).title, again.slot(k).enabled ? "on" : "off"};
        QCOMPARE(after, before);
        QCOMPARE(ID(again, 6)->currentText(), how == QLatin1String("close") ? "99" : "200");
        QCOMPARE(Combo(again, 2)->currentText(), QStringLiteral("溫濕度計      "));
        QVERIFY(again.noticeText().isEmpty());
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
        // The second model of the table, the one named in Big5.
        const QModelIndex entry = v->model()->index(1, 0);
        QVERIFY(entry.isValid());
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
        choose(ID(f, 1), 0);
        choose(I(f, 1), 1);
        choose(Combo(f, 1), 3);
        Text(f, 1)->setText(QStringLiteral("一號配電盤 電壓/電流"));
        // A refused ID on the problem line, red under the button.
        ID(f, 2)->setEditText(QStringLiteral("300"));
        emit ID(f, 2)->lineEdit()->editingFinished();
        QVERIFY(ID(f, 2)->currentText().isEmpty());
        const auto *problem = control<QLabel>(&f, QStringLiteral("Problem"));
        QVERIFY(problem->text().contains(QStringLiteral("300")));
        QVERIFY(problem->isVisibleTo(&f));
        const QImage shot = f.grab().toImage();
        QCOMPARE(shot.size(), QSize(755, 470));
        if (const QByteArray out = qgetenv("KELMAR_GRAB_DIR"); !out.isEmpty())
            shot.save(QString::fromLocal8Bit(out) + QStringLiteral("/form4.png"));
    }
};

QTEST_MAIN(TstForm4)
#include "tst_form4.moc"

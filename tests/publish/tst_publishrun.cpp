#include "brokerfixture.h"
#include "clock.h"
#include "fakemeterport.h"
#include "findcontrol.h"
#include "fonts.h"
#include "form1.h"
#include "stationform.h"
#include "form2.h"
#include "form4.h"
#include "lendport.h"
#include "publishconfig.h"
#include "session.h"
#include "testfolder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace kelmar;
using kelmar::test::Broker;
using kelmar::test::control;
using kelmar::test::Subscriber;

// The whole road of a reading: polling on the line, the display, the
// publisher, the broker, a subscriber. What arrives is what was shown.
class TstPublishRun : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { installFontSubstitutions(); }

    void everyTickArrivesAsShown()
    {
        Broker broker;
        QVERIFY(broker.start());
        test::TestFolder dir;
        QVERIFY(dir.copyDist());
        PublishConfig c = defaultPublishConfig(QStringLiteral("test"));
        c.enabled = true;
        c.port = broker.port();
        c.topicPrefix = QStringLiteral("kelmar/run");
        c.clientId = QStringLiteral("run-under-test");
        QVERIFY(savePublishConfig(dir.file(QStringLiteral("publish.ini")), c).ok);
        Subscriber sub(broker, {QStringLiteral("kelmar/run/#")});
        QVERIFY(sub.start());

        test::FakeMeterPort port;
        for (int reg = 0; reg < 0x40; ++reg)
            port.registers[{2, reg}] = quint16(1000 + 7 * reg);
        ManualClock clock;
        test::StationForm1 f(dir.path(), clock, test::lendPort(port));
        f.form2()->Command1_Click();
        Form4 *m = f.form4();
        control<QCheckBox>(m, QStringLiteral("MSCK3"))->setChecked(true);
        emit control<QComboBox>(m, QStringLiteral("ID3"))->activated(1); // slave 2
        emit control<QComboBox>(m, QStringLiteral("Combo3"))->activated(2);
        emit control<QComboBox>(m, QStringLiteral("I3"))->activated(1);
        Session &s = f.session();
        s.start();
        const int ticks = 3;
        QStringList shown;
        for (int t = 0; t < ticks; ++t) {
            port.registers[{2, 0}] = quint16(100 + t);
            s.pollTick();
            QTRY_VERIFY_WITH_TIMEOUT(!s.pollTickRunning(), 5000);
            shown << s.reading(3, 0);
            QVERIFY(!shown.last().isEmpty());
        }
        const QString topic = QStringLiteral("kelmar/run/slot/3");
        QTRY_COMPARE_WITH_TIMEOUT(sub.payloads(topic).size(), ticks, 10000);
        for (int t = 0; t < ticks; ++t) {
            const QJsonObject o = QJsonDocument::fromJson(sub.payloads(topic).at(t)).object();
            QCOMPARE(o.value(QStringLiteral("id")).toInt(), 2);
            QCOMPARE(o.value(QStringLiteral("status")).toString(), QStringLiteral("ok"));
            // Compared as text: the number is the display's text, never a float.
            const QByteArray raw = sub.payloads(topic).at(t);
            QVERIFY2(raw.contains("\"values\":[" + shown[t].toLatin1()), raw.constData());
        }
        QVERIFY(sub.payloads(QStringLiteral("kelmar/run/status")).contains("online"));
    }
};

QTEST_MAIN(TstPublishRun)
#include "tst_publishrun.moc"

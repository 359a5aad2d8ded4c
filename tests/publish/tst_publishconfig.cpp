#include "publishconfig.h"

#include "testfolder.h"

#include <QFileInfo>
#include <QTest>

using namespace kelmar;

Q_DECLARE_METATYPE(kelmar::PublishConfig)

class tst_PublishConfig : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void renderReadsBack_data();
    void renderReadsBack();
    void file_data();
    void file();
};

static const QString Host = QStringLiteral("line7");

void tst_PublishConfig::parse_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("field");   // which value the row looks at
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("noticeKey"); // "" when no notice is expected

    QTest::newRow("empty file: off") << QByteArray() << "enabled" << "0" << "";
    QTest::newRow("default host") << QByteArray("[publish]\nenabled=1\n") << "host" << "127.0.0.1" << "";
    QTest::newRow("default port 1883") << QByteArray("[publish]\n") << "port" << "1883" << "";
    QTest::newRow("tls without port: 8883") << QByteArray("[publish]\ntls=1\n") << "port" << "8883" << "";
    QTest::newRow("tls with port kept") << QByteArray("[publish]\ntls=1\nport=9000\n") << "port" << "9000" << "";
    QTest::newRow("default client id") << QByteArray() << "client_id" << "kelmar-t-line7" << "";
    QTest::newRow("default prefix") << QByteArray() << "topic_prefix" << "kelmar/line7" << "";
    QTest::newRow("default qos 1") << QByteArray() << "qos" << "1" << "";
    QTest::newRow("default queue 100000") << QByteArray() << "queue_limit" << "100000" << "";
    QTest::newRow("enabled=yes refused") << QByteArray("[publish]\nenabled=yes\n") << "enabled" << "0" << "enabled";
    QTest::newRow("port 70000 refused") << QByteArray("[publish]\nport=70000\n") << "port" << "1883" << "port";
    QTest::newRow("port 18a3 refused") << QByteArray("[publish]\nport=18a3\n") << "port" << "1883" << "port";
    QTest::newRow("qos 2 refused") << QByteArray("[publish]\nqos=2\n") << "qos" << "1" << "qos";
    QTest::newRow("qos 0 taken") << QByteArray("[publish]\nqos=0\n") << "qos" << "0" << "";
    QTest::newRow("queue_limit 0 refused") << QByteArray("[publish]\nqueue_limit=0\n") << "queue_limit" << "100000" << "queue_limit";
    QTest::newRow("queue_limit -5 refused") << QByteArray("[publish]\nqueue_limit=-5\n") << "queue_limit" << "100000" << "queue_limit";
    QTest::newRow("empty host refused") << QByteArray("[publish]\nhost=\n") << "host" << "127.0.0.1" << "host";
    QTest::newRow("prefix with wildcard refused") << QByteArray("[publish]\ntopic_prefix=a/#\n") << "topic_prefix" << "kelmar/line7" << "topic_prefix";
    QTest::newRow("prefix trailing slash dropped") << QByteArray("[publish]\ntopic_prefix=plant/l7/\n") << "topic_prefix" << "plant/l7" << "";
    QTest::newRow("discovery=1") << QByteArray("[publish]\ndiscovery=1\n") << "discovery" << "1" << "";
    QTest::newRow("utf-8 user name") << QByteArray("[publish]\nusername=\xe7\xb7\x9a\xe4\xb8\x83\n") << "username" << QStringLiteral("線七") << "";
    QTest::newRow("password with ; and =") << QByteArray("[publish]\npassword=\"a;b=c\"\n") << "password" << "a;b=c" << "";
    QTest::newRow("other sections ignored") << QByteArray("[other]\nqos=0\n[publish]\n") << "qos" << "1" << "";
}

static QString field(const PublishConfig &c, const QString &name)
{
    const QMap<QString, QString> v{
        {"enabled", QString::number(c.enabled)},   {"host", c.host},
        {"port", QString::number(c.port)},         {"tls", QString::number(c.tls)},
        {"cafile", c.cafile},                       {"username", c.username},
        {"password", c.password},                   {"client_id", c.clientId},
        {"topic_prefix", c.topicPrefix},            {"qos", QString::number(c.qos)},
        {"queue_limit", QString::number(c.queueLimit)}, {"discovery", QString::number(c.discovery)}};
    return v.value(name);
}

void tst_PublishConfig::parse()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, field);
    QFETCH(QString, expected);
    QFETCH(QString, noticeKey);
    const PublishConfigRead r = parsePublishConfig(ini, Host);
    QCOMPARE(::field(r.config, field), expected);
    if (noticeKey.isEmpty()) {
        QVERIFY2(r.notices.isEmpty(), qPrintable(r.notices.join(u'\n')));
    } else {
        QCOMPARE(r.notices.size(), 1);
        QVERIFY2(r.notices[0].contains(u' ' + noticeKey + u' '), qPrintable(r.notices[0]));
    }
}

void tst_PublishConfig::renderReadsBack_data()
{
    QTest::addColumn<PublishConfig>("config");
    PublishConfig plain = defaultPublishConfig(Host);
    QTest::newRow("defaults") << plain;
    PublishConfig all = plain;
    all.enabled = true;
    all.host = QStringLiteral("broker.plant.example");
    all.port = 8884;
    all.tls = true;
    all.cafile = QStringLiteral("/etc/ssl/plant ca.pem");
    all.username = QStringLiteral("線七");
    all.password = QStringLiteral("p;a=s\"s#w\\ord");
    all.clientId = QStringLiteral("station-7");
    all.topicPrefix = QStringLiteral("plant/hall 2/line7");
    all.qos = 0;
    all.queueLimit = 5;
    all.discovery = true;
    QTest::newRow("every key changed, awkward characters") << all;
}

void tst_PublishConfig::renderReadsBack()
{
    QFETCH(PublishConfig, config);
    const QByteArray text = renderPublishConfig(config);
    QVERIFY(text.startsWith("[publish]"));
    const PublishConfigRead r = parsePublishConfig(text, QStringLiteral("elsewhere"));
    QVERIFY(r.notices.isEmpty());
    QVERIFY(r.config == config);
}

void tst_PublishConfig::file_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("ownerOnly");
    QTest::newRow("no password: usual permissions") << QString() << false;
    QTest::newRow("password: owner only") << QStringLiteral("secret") << true;
}

void tst_PublishConfig::file()
{
    QFETCH(QString, password);
    QFETCH(bool, ownerOnly);
    test::TestFolder folder;
    const QString path = folder.file(QStringLiteral("publish.ini"));

    const PublishConfigRead missing = loadPublishConfig(path, Host);
    QVERIFY(!missing.config.enabled);
    QVERIFY(missing.notices.isEmpty());

    PublishConfig c = defaultPublishConfig(Host);
    c.enabled = true;
    c.password = password;
    QVERIFY(savePublishConfig(path, c).ok);
    const auto perms = QFileInfo(path).permissions();
#ifdef Q_OS_WIN
    if (ownerOnly)
        QEXPECT_FAIL("", "Windows: only an access list can keep the password from other users; none is set yet", Continue);
#endif
    if (ownerOnly)
        QCOMPARE(perms & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
                 QFileDevice::Permissions());
    QVERIFY(loadPublishConfig(path, Host).config == c);
}

QTEST_GUILESS_MAIN(tst_PublishConfig)
#include "tst_publishconfig.moc"

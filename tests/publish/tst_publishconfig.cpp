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

// A file as the version before wrote it: every key, sorted, values quoted and
// escaped by QSettings (these lines are its output).
static QByteArray earlierFile(const QByteArray &passwordLine)
{
    return "[publish]\ncafile=/etc/ssl/plant ca.pem\nclient_id=station-7\ndiscovery=1\nenabled=1\n"
           "host=broker.plant.example\n" + passwordLine + "\nport=8884\nqos=0\nqueue_limit=5\ntls=1\n"
           "topic_prefix=plant/hall 2/line7\nusername=\xe7\xb7\x9a\xe4\xb8\x83\n";
}

void tst_PublishConfig::parse_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("field");   // which value the row looks at
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("noticeKey"); // "" when no notice is expected

    QTest::newRow("empty file: off, no section named") << QByteArray() << "enabled" << "0" << "no [publish]";
    QTest::newRow("default host") << QByteArray("[publish]\nenabled=1\n") << "host" << "127.0.0.1" << "";
    QTest::newRow("default port 1883") << QByteArray("[publish]\n") << "port" << "1883" << "";
    QTest::newRow("tls without port: 8883") << QByteArray("[publish]\ntls=1\n") << "port" << "8883" << "";
    QTest::newRow("tls with port kept") << QByteArray("[publish]\ntls=1\nport=9000\n") << "port" << "9000" << "";
    QTest::newRow("default client id") << QByteArray("[publish]\n") << "client_id" << "kelmar-t-line7" << "";
    QTest::newRow("default prefix") << QByteArray("[publish]\n") << "topic_prefix" << "kelmar/line7" << "";
    QTest::newRow("default qos 1") << QByteArray("[publish]\n") << "qos" << "1" << "";
    QTest::newRow("default queue 100000") << QByteArray("[publish]\n") << "queue_limit" << "100000" << "";
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
    QTest::newRow("password=a,b keeps its comma") << QByteArray("[publish]\npassword=a,b\n") << "password" << "a,b" << "";
    QTest::newRow("password=se;cret#x whole") << QByteArray("[publish]\npassword=se;cret#x\n") << "password" << "se;cret#x" << "";
    QTest::newRow("backslashes as typed") << QByteArray("[publish]\npassword=pa\\\\ss\\n\n") << "password" << "pa\\\\ss\\n" << "";
    QTest::newRow("blanks around = dropped") << QByteArray("[publish]\n  password =  s3 cret \t\n") << "password" << "s3 cret" << "";
    QTest::newRow("quotes keep blanks at the ends") << QByteArray("[publish]\npassword=\" s3 \"\n") << "password" << " s3 " << "";
    QTest::newRow("# and ; first on a line: comments") << QByteArray("[publish]\n#password=a\n  ; password=b\npassword=c\n") << "password" << "c" << "";
    QTest::newRow("CRLF and byte order mark") << QByteArray("\xef\xbb\xbf[publish]\r\nport=1999\r\n") << "port" << "1999" << "";
    QTest::newRow("not UTF-8: off, named") << QByteArray("[publish]\nenabled=1\nhost=\xff\xfe\n") << "enabled" << "0" << "is not UTF-8";
    QTest::newRow("no [publish] section: off, named") << QByteArray("[publich]\nenabled=1\n") << "enabled" << "0" << "has no [publish]";
    QTest::newRow("unknown key named") << QByteArray("[publish]\npasword=x\n") << "password" << "" << "unknown key pasword";
    QTest::newRow("line without = named by number, not shown") << QByteArray("[publish]\nenabled=1\ns3cret\n") << "enabled" << "1" << "line 3 is not";
    QTest::newRow("client_id line7.hall2 refused") << QByteArray("[publish]\nclient_id=line7.hall2\n") << "client_id" << "kelmar-t-line7" << "may hold only A-Z a-z 0-9 _";
    QTest::newRow("earlier file: escaped quote and backslash") << earlierFile("password=p\\\"s\\\\s w") << "password" << "p\"s\\s w" << "";
    QTest::newRow("earlier file: quoted , ; # =") << earlierFile("password=\"p;a=s\\\"s#w\\\\ord, x\"") << "password" << "p;a=s\"s#w\\ord, x" << "";
    QTest::newRow("earlier file: @ doubled") << earlierFile("password=@@at") << "password" << "@at" << "";
    QTest::newRow("earlier file: edited to a,b") << earlierFile("password=a,b") << "password" << "a,b" << "";
    QTest::newRow("earlier file: other keys as written") << earlierFile("password=") << "topic_prefix" << "plant/hall 2/line7" << "";
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
    for (const char *pw : {"a,b;c#d=e\"f\\g h", " blanks at both ends ", "\"in quotes\"", "\"", "#first", ";first",
                           "@first", "=first", "x\\\"y\\\\"}) {
        PublishConfig c = plain;
        c.password = QString::fromUtf8(pw);
        QTest::addRow("password %s", pw) << c;
    }
}

void tst_PublishConfig::renderReadsBack()
{
    QFETCH(PublishConfig, config);
    const QByteArray text = renderPublishConfig(config);
    QVERIFY(text.contains("\n[publish]\n"));
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

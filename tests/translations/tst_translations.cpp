#include "clock.h"
#include "fonts.h"
#include "form1.h"
#include "form2.h"
#include "form3.h"
#include "form4.h"
#include "healthwindow.h"
#include "trendwindow.h"
#include "installer.h"
#include "installwindow.h"
#include "language.h"
#include "stationform.h"
#include "testfolder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QXmlStreamReader>
#include <qcustomplot.h>

#include <functional>
#include <memory>

using namespace kelmar;

namespace {

bool isChinese(QChar c)
{
    const ushort u = c.unicode();
    return (u >= 0x3000 && u <= 0x303f) || (u >= 0x3400 && u <= 0x9fff) || (u >= 0xff00 && u <= 0xffef);
}

bool hasChinese(const QString &text)
{
    return std::any_of(text.begin(), text.end(), isChinese);
}

// Every text a widget shows a person, with where it was found.
QStringList shownTexts(const QWidget *top)
{
    QStringList out;
    auto add = [&out](const QObject *o, const QString &what, const QString &text) {
        if (!text.isEmpty())
            out << QStringLiteral("%1 %2 %3: %4")
                       .arg(QString::fromLatin1(o->metaObject()->className()), o->objectName(), what, text);
    };
    QList<const QWidget *> widgets{top};
    for (const QWidget *w : top->findChildren<QWidget *>())
        widgets << w;
    for (const QWidget *w : widgets) {
        add(w, QStringLiteral("title"), w->windowTitle());
        add(w, QStringLiteral("tooltip"), w->toolTip());
        if (auto *l = qobject_cast<const QLabel *>(w))
            add(w, QStringLiteral("text"), l->text());
        if (auto *b = qobject_cast<const QAbstractButton *>(w))
            add(w, QStringLiteral("text"), b->text());
        if (auto *g = qobject_cast<const QGroupBox *>(w))
            add(w, QStringLiteral("title"), g->title());
        if (auto *e = qobject_cast<const QLineEdit *>(w))
            add(w, QStringLiteral("placeholder"), e->placeholderText());
        if (auto *c = qobject_cast<const QComboBox *>(w)) {
            for (int i = 0; i < c->count(); ++i) {
                add(w, QStringLiteral("item"), c->itemText(i));
                add(w, QStringLiteral("item tip"), c->itemData(i, Qt::ToolTipRole).toString());
            }
        }
        if (auto *t = qobject_cast<const QTabWidget *>(w)) {
            for (int i = 0; i < t->count(); ++i)
                add(w, QStringLiteral("tab"), t->tabText(i));
        }
        if (auto *t = qobject_cast<const QTableWidget *>(w)) {
            for (int i = 0; i < t->columnCount(); ++i) {
                if (const QTableWidgetItem *h = t->horizontalHeaderItem(i))
                    add(w, QStringLiteral("header"), h->text());
            }
        }
        if (auto *p = qobject_cast<const QCustomPlot *>(w)) {
            for (const QCPAxis *axis : p->axisRect()->axes())
                add(w, QStringLiteral("axis"), axis->label());
        }
    }
    return out;
}

// The shipped program folder with meter descriptions and model names of
// its own in English, so that whatever Chinese a window shows is the
// program's (the shipped title included).
void writeEnglishData(const test::TestFolder &folder)
{
    QVERIFY(folder.copyDist());
    QVERIFY(folder.write(QStringLiteral("meter.txt"),
                         "VQ2-V     0000,0001,0000,0000,A volts 0.1 V\r\n"
                         "ZRP-VA    0000,0001,0002,0001,B volts / amperes\r\n"));
}

} // namespace

class TestTranslations : public QObject
{
    Q_OBJECT

private slots:
    void catalogueTranslatesEveryText_data();
    void catalogueTranslatesEveryText();
    void windowsShowOnlyTheirLanguage_data();
    void windowsShowOnlyTheirLanguage();
};

// lupdate over the sources finds no text without its translation, and every
// translation keeps its source's placeholders and is no Chinese.
void TestTranslations::catalogueTranslatesEveryText_data()
{
    QTest::addColumn<QString>("language");
    QTest::newRow("English") << QStringLiteral("en");
}

void TestTranslations::catalogueTranslatesEveryText()
{
    QFETCH(QString, language);
    const QString lupdate = QStringLiteral(KELMAR_LUPDATE);
    if (lupdate.isEmpty())
        QSKIP("no lupdate on this build machine");
    QTemporaryDir dir;
    const QString ts = dir.filePath(QStringLiteral("check.ts"));
    QVERIFY(QFile::copy(QStringLiteral(KELMAR_SOURCE_DIR "/translations/kelmar_t_%1.ts").arg(language), ts));
    QFile::setPermissions(ts, QFile::ReadOwner | QFile::WriteOwner);
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    QFile argumentFile(QStringLiteral(KELMAR_LUPDATE_ARGUMENTS));
    QVERIFY(argumentFile.open(QIODevice::ReadOnly));
    const QStringList args = QString::fromUtf8(argumentFile.readAll()).split(u'\n', Qt::SkipEmptyParts)
                             + QStringList{QStringLiteral("-ts"), ts};
    p.start(lupdate, args);
    QVERIFY2(p.waitForFinished(120000) && p.exitCode() == 0, p.readAll().constData());

    QFile f(ts);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&f);
    QStringList faults;
    QString context, source;
    int messages = 0;
    static const QRegularExpression placeholder(QStringLiteral("%\\d"));
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"name") {
            context = xml.readElementText();
        } else if (xml.name() == u"source") {
            source = xml.readElementText();
        } else if (xml.name() == u"translation") {
            ++messages;
            const bool unfinished = xml.attributes().value(QLatin1String("type")) == u"unfinished";
            const QString text = xml.readElementText();
            // A value the Chinese half of a bilingual source alone shows
            // ("儀表%1 … (slot %2 …)") is the English's to leave out.
            static const QRegularExpression englishHalf(QStringLiteral(" \\([A-Za-z]"));
            const qsizetype half = source.indexOf(englishHalf);
            QStringList wanted;
            for (auto m = placeholder.globalMatch(source); m.hasNext();) {
                const QString w = m.next().captured();
                if (half < 0 || source.indexOf(w, half) >= 0)
                    wanted << w;
            }
            const bool placeholdersKept = std::all_of(wanted.begin(), wanted.end(),
                                                      [&text](const QString &w) { return text.contains(w); });
            if (unfinished || text.isEmpty())
                faults << QStringLiteral("untranslated in %1: %2").arg(context, source);
            else if (!placeholdersKept)
                faults << QStringLiteral("placeholders lost in %1: %2 -> %3").arg(context, source, text);
            else if (hasChinese(text))
                faults << QStringLiteral("Chinese left in %1: %2").arg(context, text);
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QVERIFY2(messages > 0, "the catalogue holds no text");
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
}

// Each window under English shows no Chinese of its own; under Chinese (no
// catalogue) the same look finds Chinese, so the look itself works.
void TestTranslations::windowsShowOnlyTheirLanguage_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<bool>("english");
    const char *windows[] = {"main", "communication", "display", "slots", "counters", "trend", "publish", "installer"};
    for (const char *w : windows)
        QTest::newRow(qPrintable(QStringLiteral("%1, English").arg(QLatin1String(w)))) << QString::fromLatin1(w) << true;
    QTest::newRow("main, Chinese") << QStringLiteral("main") << false;
}

void TestTranslations::windowsShowOnlyTheirLanguage()
{
    QFETCH(QString, window);
    QFETCH(bool, english);
    QTranslator *catalogue = nullptr;
    if (english) {
        QVERIFY(installLanguage(Language::English));
        catalogue = qApp->findChild<QTranslator *>();
    }
    test::TestFolder folder;
    writeEnglishData(folder);
    test::StationForm1 form1(folder.path(), Clock::system());
    form1.Form_Load();
    const std::map<QString, std::function<QWidget *()>> open = {
        {QStringLiteral("main"), [&]() -> QWidget * { return &form1; }},
        {QStringLiteral("communication"), [&]() -> QWidget * { return form1.form2(); }},
        {QStringLiteral("display"), [&]() -> QWidget * { return form1.form3(); }},
        {QStringLiteral("slots"), [&]() -> QWidget * { return form1.form4(); }},
        {QStringLiteral("counters"), [&]() -> QWidget * { return form1.healthWindow(); }},
        {QStringLiteral("trend"), [&]() -> QWidget * { return form1.trendWindow(); }},
        {QStringLiteral("publish"), [&]() -> QWidget * {
             auto *key = form1.findChild<QAbstractButton *>(QStringLiteral("PublishButton"));
             if (!key)
                 return nullptr;
             key->click();
             for (QWidget *c : form1.findChildren<QWidget *>()) {
                 if (c->inherits("kelmar::PublishWindow"))
                     return c;
             }
             return nullptr;
         }},
    };
    std::unique_ptr<Installer> installer;
    std::unique_ptr<InstallWindow> installWindow;
    QWidget *w = nullptr;
    if (window == u"installer") {
        installer = std::make_unique<Installer>(systemMachine(folder.path()));
        installWindow = std::make_unique<InstallWindow>(*installer);
        w = installWindow.get();
    } else {
        w = open.at(window)();
    }
    if (!w && window == u"publish")
        QSKIP("publishing is not built in");
    QVERIFY(w);
    QStringList chinese;
    for (const QString &t : shownTexts(w)) {
        if (hasChinese(t))
            chinese << t;
    }
    if (catalogue) {
        QCoreApplication::removeTranslator(catalogue);
        delete catalogue;
    }
    if (english)
        QVERIFY2(chinese.isEmpty(), qPrintable(chinese.join(u'\n')));
    else
        QVERIFY(!chinese.isEmpty());
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    installFontSubstitutions();
    TestTranslations t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_translations.moc"

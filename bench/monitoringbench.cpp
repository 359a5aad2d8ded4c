// A monitoring run as on the factory floor, measured: six two-value meters
// on the simulated line (twelve transactions a tick), polling every second,
// recording every second. Prints the CPU share, the peak resident memory,
// the record lines against the expected count and the spread of the line
// times around their seconds.
//
//   kelmar_monitoringbench [seconds]      (default 60)

#include "clock.h"
#include "fonts.h"
#include "form1.h"
#include "form2.h"
#include "form3.h"
#include "form4.h"
#include "serialport.h"
#include "socatpair.h"
#include "testfolder.h"
#include "intervaltimer.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

using namespace kelmar;

namespace {

void choose(QComboBox *list, int index)
{
    list->setCurrentIndex(index);
    emit list->activated(index);
}

int fail(const char *why)
{
    std::fprintf(stderr, "monitoringbench: %s\n", why);
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    installFontSubstitutions();
    const int seconds = argc > 1 ? std::max(5, atoi(argv[1])) : 60;

    test::TestFolder dir;
    if (!dir.copyDist())
        return fail("cannot copy the distribution files");
    test::SocatPair pair(dir.path(), QStringLiteral("meters"), QStringLiteral("host"));
    if (!pair.start())
        return fail("socat did not start");
    QProcess sim;
    sim.start(QStringLiteral(KELMAR_BINARY_DIR "/tools/metersim/kelmar_metersim"),
              {QStringLiteral("--device"), pair.endA(), QStringLiteral("--demo")});
    for (int waited = 0; !sim.canReadLine(); waited += 20) {
        if (sim.state() == QProcess::NotRunning || waited > 10000)
            return fail("the simulator did not start");
        QTest::qWait(20);
    }
    dir.mapComPort(1, pair.endB());

    Form1 f(dir.path(), Clock::system());
    f.Form_Load();
    f.RecordSeconds = 1;
    f.Timer1->setInterval(1000);
    Form2 *f2 = f.form2();
    f2->Text1->setText(dir.file(QStringLiteral("log/")));
    f2->Command1_Click();
    if (!f.MSComm1->PortOpen())
        return fail("cannot connect");
    Form4 *f4 = f.form4();
    for (int k = 1; k <= 6; ++k) {
        f4->MSCK(k)->setChecked(true);
        choose(f4->ID(k), k - 1);
        choose(f4->I(k), 1);
        choose(f4->Combo(k), 3); // a two-value model
    }
    f.Command3_Click();
    f2->Check1->setChecked(true);
    const QString file = f2->Text2->text();

    // When each line goes out, against the start of recording.
    QElapsedTimer run;
    run.start();
    QList<qint64> lineTimes;
    QObject::connect(f.Timer3, &IntervalTimer::timeout, [&] { lineTimes << run.elapsed(); });
    const double cpuStart = test::processCpuSeconds();
    QTest::qWait(seconds * 1000 + 500);
    const double wall = run.elapsed() / 1000.0;
    const double cpu = test::processCpuSeconds() - cpuStart;
    f2->Check1->setChecked(false);

    QFile log(file);
    log.open(QIODevice::ReadOnly);
    const int lines = int(log.readAll().count("\r\n"));
    qint64 worst = 0;
    const qint64 first = lineTimes.value(0);
    for (int i = 0; i < lineTimes.size(); ++i)
        worst = std::max(worst, qAbs(lineTimes[i] - first - 1000 * i));
    rusage u{};
    getrusage(RUSAGE_SELF, &u);

    std::printf("run %.1f s, %d polling ticks of 12 transactions\n", wall, f.PollTickCount);
    std::printf("CPU %.3f s = %.2f %% of the wall time (target under 2 %%)\n", cpu,
                100.0 * cpu / wall);
    std::printf("peak resident memory %.1f MB (target under 80 MB)\n", u.ru_maxrss / 1024.0);
    std::printf("record lines %d, expected %lld (target exact)\n", lines,
                static_cast<long long>(lineTimes.size()));
    std::printf("line times: worst %lld ms from their second (target within 50 ms)\n",
                static_cast<long long>(worst));
    std::printf("last line: %s\n", qPrintable(f.RecordLine));

    sim.terminate();
    sim.waitForFinished(5000);
    return lines == lineTimes.size() ? 0 : 2;
}

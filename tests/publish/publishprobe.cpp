// A publishing process for the tests to end: it connects to the broker on
// 127.0.0.1:<port> with the topic prefix given, its line open on "COM1",
// says "connected" on stdout and runs until its standard input closes (a
// normal end) or it is killed.
#include "publisher.h"

#include <QCoreApplication>

#include <cstdio>
#include <thread>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 2;
    kelmar::Publisher publisher;
    QObject::connect(&publisher, &kelmar::Publisher::stateChanged, [](kelmar::BrokerState s) {
        if (s == kelmar::BrokerState::Connected) {
            std::puts("connected");
            std::fflush(stdout);
        }
    });
    // A thread waits for the end of the input: Windows has no notifier for a
    // pipe.
    std::thread input([&app] {
        while (std::fgetc(stdin) != EOF) {
        }
        QMetaObject::invokeMethod(
            &app, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    });
    kelmar::PublishConfig c = kelmar::defaultPublishConfig(QStringLiteral("probe"));
    c.enabled = true;
    c.port = args[1].toInt();
    c.topicPrefix = args[2];
    publisher.publishLine(QStringLiteral("COM1"), kelmar::LineState::Open);
    publisher.setConfig(c);
    const int status = app.exec();
    input.join();
    return status;
}

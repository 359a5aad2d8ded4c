// A publishing process for the tests to kill: it connects to the broker on
// 127.0.0.1:<port> with the topic prefix given, says "connected" on stdout
// and then runs until it is ended.
#include "publisher.h"

#include <QCoreApplication>

#include <cstdio>

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
    kelmar::PublishConfig c = kelmar::defaultPublishConfig(QStringLiteral("probe"));
    c.enabled = true;
    c.port = args[1].toInt();
    c.topicPrefix = args[2];
    publisher.setConfig(c);
    return app.exec();
}

#pragma once

#include "publishconfig.h"
#include "publisher.h"

#include <QTimer>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace kelmar {

class Lamp;

// The window "資料發佈 (publish)": edits publish.ini and shows how the
// broker connection does. It only shows and hands back settings; the
// publisher and the file are the caller's.
class PublishWindow : public QWidget
{
    Q_OBJECT
public:
    explicit PublishWindow(QWidget *parent = nullptr);

    PublishConfig config() const;
    void setConfig(const PublishConfig &config);

    // The lamp and the counts.
    void showState(BrokerState state, qint64 published, qint64 queued, qint64 dropped);
    // A problem with the settings file or the broker; "" clears it.
    void showNotice(const QString &text);
    QColor lampColor() const;

    static QColor stateColor(BrokerState state);

signals:
    // 套用 was pressed: config() holds the settings to save and use.
    void applyRequested();

private:
    QCheckBox *m_enabled;
    QLineEdit *m_host;
    QSpinBox *m_port;
    QCheckBox *m_tls;
    QLineEdit *m_cafile;
    QLineEdit *m_username;
    QLineEdit *m_password;
    QLineEdit *m_clientId;
    QLineEdit *m_topicPrefix;
    QComboBox *m_qos;
    QSpinBox *m_queueLimit;
    QCheckBox *m_discovery;
    Lamp *m_lamp;
    QLabel *m_stateText;
    QLabel *m_counts;
    QLabel *m_notice;
    QPushButton *m_apply;
    QPushButton *m_leave;
};

// Opens the window over the publisher: 套用 saves the settings to iniPath
// (a refused file is shown in the window) and hands them to the publisher;
// the lamp and counts follow the publisher twice a second while shown.
void bindPublishWindow(PublishWindow *window, Publisher *publisher, const QString &iniPath);

} // namespace kelmar

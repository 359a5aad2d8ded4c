#pragma once

#include <QWidget>

class QMessageBox;
class QPushButton;

namespace kelmar {

class Installer;

// The installer's one window: the button "安裝" runs the installation once.
// When every step went well the installer ends at once; otherwise it shows
// one message with what failed and ends when that is closed.
class InstallWindow : public QWidget
{
    Q_OBJECT
public:
    explicit InstallWindow(Installer &installer, QWidget *parent = nullptr);

    QPushButton *Command1; // "安裝"

    // The failure message while it is shown, else null.
    QMessageBox *failureBox() const { return m_failureBox; }

    void Command1_Click();

signals:
    // The installation is over and the installer should end.
    void ended();

private:
    Installer &m_installer;
    QMessageBox *m_failureBox = nullptr;
};

} // namespace kelmar

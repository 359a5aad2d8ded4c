#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kelmar {

// The frameless information display window. (Placeholder until the display
// window is built; the interface below is what the other windows use.)
class Form3 : public QWidget
{
    Q_OBJECT
public:
    explicit Form3(QWidget *parent = nullptr);

    // Value label item 0 or 1 of slot k (1 to 6): Label1 ... Label6.
    QLabel *Label(int k, int item) const { return m_values[k - 1][item]; }
    // Title of slot k: Label7 ... Label12.
    QLabel *TitleLabel(int k) const { return m_titles[k - 1]; }
    // Picture box of slot k: Image1 ... Image6.
    QLabel *Image(int k) const { return m_images[k - 1]; }

    QLabel *Label13; // date and time
    QLabel *Label14; // recording indicator
    QPushButton *Command1; // Exit
    QLineEdit *Text1;      // keeps the keyboard focus

    // A line that tells the operator of a problem (a missing picture, a
    // record file that cannot be written); empty when all is well.
    void setNotice(const QString &text);
    QString notice() const;

    void Command1_Click();

signals:
    // Exit has cleared the readings and hidden the window; the main window
    // stops its polling and record timers.
    void exited();

private:
    QLabel *m_values[6][2];
    QLabel *m_titles[6];
    QLabel *m_images[6];
    QLabel *m_notice;
};

} // namespace kelmar

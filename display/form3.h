#pragma once

#include <QPixmap>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kelmar {

// The frameless information display window: six meter slots, each a front
// panel picture with its title and one or two readings in large red digits,
// the clock and the recording indicator. Other windows write its labels;
// it has no logic of its own beyond activation and Exit.
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

    QLabel *Label13;       // date and time
    QLabel *Label14;       // recording indicator
    QPushButton *Command1; // Exit
    QLineEdit *Text1;      // keeps the keyboard focus

    // Puts a picture into slot k's picture box at the picture's own size,
    // top left corner in place; a null picture leaves the box empty.
    void setPicture(int k, const QPixmap &picture);

    // The panel every picture box shows until a start lays the slot out.
    static QPixmap defaultPicture();

    // Centres the window on its screen at its present size.
    void centreOnScreen();

    // A line that tells the operator of a problem (a missing picture, a
    // record file that cannot be written); empty when all is well.
    void setNotice(const QString &text);
    QString notice() const;
    QLabel *noticeLabel() const { return m_notice; }

    void Command1_Click();

signals:
    // Exit has cleared the readings and hidden the window; the main window
    // stops its polling and record timers.
    void exited();

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QLabel *m_values[6][2];
    QLabel *m_titles[6];
    QLabel *m_images[6];
    QLabel *m_notice;
    QString m_noticeText;
};

} // namespace kelmar

#pragma once

#include <QFont>
#include <QLabel>
#include <QString>

namespace kelmar {

// How a reading is drawn in a field of a given width: at the field's font
// when it fits, else at the largest smaller size that fits; when even the
// smallest legible size is too wide, not at all.
struct ReadingFit
{
    QFont font;
    bool fits = true;
};

// Digits shorter than this are no longer read at a glance from across a
// switchboard room; below it a field shows OverflowMark instead.
constexpr double MinDigitHeight = 12;
// Clear space kept between a reading and each side of its field, so that
// no digit ever touches the field's edge.
constexpr int ReadingSideMargin = 3;
// Shown instead of a reading that cannot be drawn whole.
inline const QString OverflowMark = QStringLiteral("####");

ReadingFit fitReading(const QFont &design, const QString &text, int fieldWidth);

// A value field: red digits centred on a black field. The label keeps the
// whole reading as its text and its design font; a reading too wide for
// the field is drawn smaller, never cut, and one that cannot be drawn whole
// shows OverflowMark with the reading as the tool tip.
class ReadingLabel : public QLabel
{
public:
    explicit ReadingLabel(QWidget *parent = nullptr);

    void setReading(const QString &text);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void refit();

    ReadingFit m_fit;
    // Readings this short fit at the design size; -1 until measured for the
    // current font and size.
    int m_safeLength = -1;
};

} // namespace kelmar

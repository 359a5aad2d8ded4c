#pragma once

#include "counts.h"
#include "twips.h"

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <array>

// The display window's one table of places, font sizes and colours, read by
// the window itself, by the start button's layout and by the panel drawing,
// so that a value field always lies over its panel's display. Pixels unless
// the name says otherwise.
namespace kelmar {

enum class ScreenSize { Small, Large }; // 800X600, 1024X768

// Front panels of the meters, drawn in code: the built-in picture of the
// display window and the two model pictures that tools/mkpanels writes.
enum class PanelKind {
    Neutral,     // built-in picture: two display fields, no maker's name
    SingleValue, // model "A": one large display field
    TwoValues,   // model "B": a large field on top, a small one lower right
};

// A value field's place and the font size its reading is drawn at when it
// fits.
struct ValueField
{
    QRect rect;
    double points = 0;
};

namespace displaytable {

// A panel picture, and its display fields relative to its top left corner
// with the size of the readings a start puts over them.
constexpr QSize Panel{366, 143};
constexpr ValueField SingleField{{22, 8, 321, 81}, 60};
constexpr ValueField UpperField{{40, 8, 317, 57}, 40};
constexpr ValueField LowerField{{206, 69, 151, 47}, 32};

// Where the start button puts the slots for a screen size. The large layout
// is the small one moved 120 right and 80 down, except the Exit button's
// top (637, not 632).
struct Screen
{
    QSize twips;      // the window's outer size, set in twips
    QPoint firstSlot; // top left corner of slot 1's picture
    QPoint exitButton;
};
constexpr Screen SmallScreen{{12000, 9000}, {24, 56}, {24, 552}};
constexpr Screen LargeScreen{{15360, 11520}, {144, 136}, {144, 637}};

// Slots in two columns and three rows; a slot's title is placed relative to
// its picture, the status mark relative to the title: on the title line
// right of the title, above the right end of the picture, so it moves with
// the slot and covers neither the title nor the readings.
constexpr int Columns = 2;
constexpr QPoint ColumnPitch{384, 0};
constexpr QPoint RowPitch{0, 176};
constexpr QRect Title{0, -32, 281, 33};
constexpr QRect Status{285, 4, 81, 25};

// The window as created: the small screen's slots, each showing the
// built-in panel with both value fields over it.
constexpr QSize ExitButton{753, 35};
constexpr QRect Clock{0, 0, 241, 25};
constexpr QRect Recording{168, 0, 121, 25};
constexpr QRect FocusBox{8, 864, 49, 33}; // below the visible area
// Reading sizes before the first start, per slot and item, as the window
// was first drawn.
constexpr std::array<std::array<double, ItemsPerSlot>, SlotCount> InitialPoints{{
    {39.75, 39.75},
    {60, 32.25},
    {60, 60},
    {60, 60},
    {60, 60},
    {60, 60},
}};

// The problem line fills the band right of the clock and the recording
// indicator, down to the first slot title, with clear space beside it and
// a pixel above the titles (whose glyphs start lower in their line).
constexpr int NoticeGap = 6;
constexpr int NoticeBottomGap = 1;
constexpr int NoticePixels = 16; // read from a step back, whatever the screen's DPI

constexpr double TitlePoints = 20.25;
constexpr double ClockPoints = 14.25;
constexpr double ExitPoints = 24;
constexpr double StatusPoints = 12;

constexpr QColor Background(25, 43, 81); // also the corners of the panel pictures
constexpr QColor ValueText(255, 0, 0);
constexpr QColor ValueBackground(0, 0, 0);
constexpr QColor GreyText(180, 180, 180);
constexpr QColor RecordText(255, 0, 0);
constexpr QColor NoticeText(255, 220, 60);
constexpr QColor StatusText(0, 0, 0);
// Behind the status text, by kind: a meter that is silent, one whose
// replies arrive broken (a wiring or address fault), one that refuses.
constexpr QColor StatusNoReply(255, 176, 0);     // amber
constexpr QColor StatusBadReply(255, 110, 80);   // salmon red
constexpr QColor StatusException(190, 150, 255); // violet

} // namespace displaytable

// Value fields a panel has: one or two.
constexpr int fieldCount(PanelKind kind)
{
    return kind == PanelKind::SingleValue ? 1 : 2;
}

// Display field item (0 or 1) of a panel, relative to the panel; the
// built-in panel has the two-value model's fields. Item 1 of a one-value
// panel is empty.
constexpr ValueField panelField(PanelKind kind, int item)
{
    if (kind == PanelKind::SingleValue)
        return item == 0 ? displaytable::SingleField : ValueField{};
    return item == 0 ? displaytable::UpperField : displaytable::LowerField;
}

constexpr const displaytable::Screen &screenOf(ScreenSize s)
{
    return s == ScreenSize::Small ? displaytable::SmallScreen : displaytable::LargeScreen;
}

// The window's outer size: set in twips, 15 twips to the pixel.
constexpr QSize displayWindowSize(ScreenSize s)
{
    return QSize(px(screenOf(s).twips.width()), px(screenOf(s).twips.height()));
}

// Top left corner of slot k's picture (k from 1 to SlotCount).
constexpr QPoint slotOrigin(ScreenSize s, int k)
{
    return screenOf(s).firstSlot + displaytable::ColumnPitch * ((k - 1) % displaytable::Columns) +
           displaytable::RowPitch * ((k - 1) / displaytable::Columns);
}

constexpr QPoint titlePosition(ScreenSize s, int k)
{
    return slotOrigin(s, k) + displaytable::Title.topLeft();
}

constexpr QPoint exitButtonPosition(ScreenSize s)
{
    return screenOf(s).exitButton;
}

// A panel's field item placed for a picture whose top left corner is at
// origin.
constexpr ValueField placedField(PanelKind kind, int item, QPoint origin)
{
    const ValueField f = panelField(kind, item);
    return {f.rect.translated(origin), f.points};
}

} // namespace kelmar

#pragma once

#include "counts.h"
#include "displaygeometry.h"

#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <array>
#include <optional>

namespace kelmar {

// What a start does to one slot of the display window.
struct SlotPlan
{
    QPoint picture; // top left corner of the picture box
    QPoint title;   // top left corner of the title line
    // A slot whose model the start does not know keeps its picture and its
    // value fields as an earlier start (or the window's creation) left them.
    bool keep = false;
    // Otherwise: the model picture (null leaves the box empty: slot off, or
    // a picture file that could not be read) and the value fields shown;
    // an absent field is hidden.
    QPixmap image;
    std::optional<ValueField> item0;
    std::optional<ValueField> item1;
};

// The whole layout of one start, applied by the display window in one go.
struct DisplayPlan
{
    QSize windowSize;
    std::array<SlotPlan, SlotCount> slotPlans;
    QPoint exitButton;
};

} // namespace kelmar

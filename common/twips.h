#pragma once

#include <QRect>

namespace kelmar {

// Window geometry is kept in twips (1/1440 inch), so the tables read in the
// units the layouts were drawn in; our screens have 15 twips to the pixel.
constexpr int TwipsPerPixel = 15;

constexpr int px(int twips)
{
    return twips / TwipsPerPixel;
}

// A rectangle given as left, top, width, height in twips.
inline QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

// A control's place in a window's geometry table: left, top, width, height
// in twips.
struct TwipsPlace
{
    int left, top, width, height;
};

inline QRect twipsRect(const TwipsPlace &p)
{
    return twipsRect(p.left, p.top, p.width, p.height);
}

// Puts a widget at its place and hands it back, so a control can be made
// and placed in one line.
template <typename W> W *place(W *w, const TwipsPlace &p)
{
    w->setGeometry(twipsRect(p));
    return w;
}

} // namespace kelmar

#pragma once

#include <QRect>

namespace kelmar {

// Window geometry is designed in twips; the screens it was made for have
// 15 twips to the pixel.
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

} // namespace kelmar

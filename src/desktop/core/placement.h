#pragma once

#include <QPoint>

// Where a window lands when it places itself by another window. Positions and
// sizes are in twips; the arithmetic is single precision, as the windows have
// always placed themselves.
namespace Placement {

inline constexpr int TwipsPerPixel = 15;

// A reference window's left and top edges and its inner (client) size.
struct Frame
{
    float left = 0;
    float top = 0;
    float innerWidth = 0;
    float innerHeight = 0;
};

struct Position
{
    float left = 0;
    float top = 0;
};

// The favourites window by the main window: left + innerWidth / -422, top + innerHeight / 28.
Position favouritesByMain(const Frame &main);
// The about window by the main window: left + innerWidth / 12, top + innerHeight / 8.
Position aboutByMain(const Frame &main);
// The save confirmation by the favourites window: left + innerWidth / 3.5, top + innerHeight / 4.
Position confirmationByFavourites(const Frame &favourites);

float pixelsToTwips(int pixels);
// To the nearest pixel; halves round away from zero.
int twipsToPixels(float twips);
QPoint twipsToPixels(const Position &position);

}

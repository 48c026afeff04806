#include "core/placement.h"

#include <cmath>

namespace Placement {

Position favouritesByMain(const Frame &main)
{
    return {main.left + main.innerWidth / -422.0f, main.top + main.innerHeight / 28.0f};
}

Position aboutByMain(const Frame &main)
{
    return {main.left + main.innerWidth / 12.0f, main.top + main.innerHeight / 8.0f};
}

Position confirmationByFavourites(const Frame &favourites)
{
    return {favourites.left + favourites.innerWidth / 3.5f, favourites.top + favourites.innerHeight / 4.0f};
}

float pixelsToTwips(int pixels)
{
    return float(pixels) * TwipsPerPixel;
}

int twipsToPixels(float twips)
{
    return int(std::lround(twips / TwipsPerPixel));
}

QPoint twipsToPixels(const Position &position)
{
    return {twipsToPixels(position.left), twipsToPixels(position.top)};
}

}

#pragma once

#include <QByteArray>
#include <QImage>

// The program's pictures, drawn from code so that they can be made again.
// Everything is deterministic: the same build of Qt and the same fonts give
// the same pixels. Sizes are logical; scale 2 draws the same picture with
// twice the pixels each way, for high-density screens.
namespace Artwork {

// 727 x 727, dark brushed steel with angular plates; behind every window.
QImage windowPicture(int scale);
// 600 x 170, the main window's banner; its lower 34 px sit behind the input row.
QImage mainBanner(int scale);
// 450 x 128, the about window's banner.
QImage aboutBanner(int scale);
// size x size pixels with transparency, drawn on a 32 x 32 grid.
QImage icon(int size);
// The same icon as a vector picture (SVG text).
QByteArray iconSvg();

}

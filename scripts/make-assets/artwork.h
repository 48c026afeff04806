#pragma once

#include <QImage>

// The program's pictures, drawn from code so that they can be made again.
// Everything is deterministic: the same build of Qt and the same fonts give
// the same pixels.
namespace Artwork {

// 727 x 727, dark brushed steel with angular plates; behind every window.
QImage windowPicture();
// 600 x 170, the main window's banner; its lower 34 px sit behind the input row.
QImage mainBanner();
// 450 x 128, the about window's banner.
QImage aboutBanner();
// 32 x 32 with transparency, before its reduction to 256 colours.
QImage icon();

}

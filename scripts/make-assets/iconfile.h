#pragma once

#include <QByteArray>
#include <QImage>

// A Windows icon file with one 256-colour (8 bits per pixel) image and its
// transparency mask. image: up to 255 x 255, any format with alpha.
namespace IconFile {

QByteArray encode(const QImage &image);

}

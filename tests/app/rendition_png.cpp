// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the picture the show puts on a screen of W x H device pixels, as
// LoadPictureRendition makes it, to a PNG file: the exact reference of the
// on-screen test.
//
//   rendition_png PICTURE W H OUT.png
#include <cstdio>
#include <cstdlib>
#include <exception>

#include <QImage>
#include <QString>

#include "platform/picture/JpegLoader.h"
#include "platform/picture/JpegRendition.h"

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s PICTURE W H OUT.png\n", argv[0]);
        return 2;
    }
    try {
        const kalvio::Bitmap picture = kalvio::LoadPictureRendition(argv[1], std::atoi(argv[2]), std::atoi(argv[3]));
        const QImage image(reinterpret_cast<const uchar*>(picture.bits()), picture.width(), picture.height(),
                           qsizetype(picture.width()) * 4, QImage::Format_RGB32);
        if (!image.save(QString::fromLocal8Bit(argv[4]), "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", argv[4]);
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}

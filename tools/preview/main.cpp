// SPDX-License-Identifier: GPL-3.0-or-later
// kalvio-preview: composes one transition frame, or a sheet of every style, as a PNG.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include <QImage>
#include <QImageWriter>
#include <QSaveFile>

#include "platform/picture/JpegLoader.h"
#include "platform/system/Random.h"
#include "tools/preview/PreviewFrames.h"
#include "tools/preview/PreviewOptions.h"

using namespace kalvio;

namespace {

int Fail(const std::string& message)
{
    std::fprintf(stderr, "kalvio-preview: %s\n", message.c_str());
    return 1;
}

// Writes an 8-bit RGB PNG; on failure the target is left untouched.
std::string WritePng(const Bitmap& bitmap, const std::string& path)
{
    const QImage wrapped(reinterpret_cast<const uchar*>(bitmap.bits()), bitmap.width(), bitmap.height(),
                         qsizetype(bitmap.width()) * qsizetype(sizeof(Pixel)), QImage::Format_RGB32);
    const QImage rgb = wrapped.convertToFormat(QImage::Format_RGB888);
    QSaveFile file(QString::fromLocal8Bit(path.c_str()));
    if (!file.open(QIODevice::WriteOnly))
        return "cannot write \"" + path + "\": " + file.errorString().toStdString();
    QImageWriter writer(&file, "png");
    if (!writer.write(rgb)) {
        file.cancelWriting();
        return "cannot write \"" + path + "\": " + writer.errorString().toStdString();
    }
    if (!file.commit())
        return "cannot write \"" + path + "\": " + file.errorString().toStdString();
    return {};
}

}

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fputs(preview::kPreviewUsage, stderr);
        return 1;
    }
    auto parsed = preview::ParsePreviewOptions(args);
    if (auto* error = std::get_if<std::string>(&parsed))
        return Fail(*error);
    const preview::PreviewOptions& o = std::get<preview::PreviewOptions>(parsed);

    try {
        const Bitmap oldPicture = LoadPictureFile(o.oldPath);
        const Bitmap newPicture = LoadPictureFile(o.newPath);
        if (o.seed)
            RandomSeed(*o.seed);
        else
            RandomizeFromClock();
        const Bitmap image = o.sheet ? preview::ComposeSheet(oldPicture, newPicture, o.step)
                                     : preview::ComposeFrame(oldPicture, newPicture, o.style, o.progress, o.step);
        const std::string error = WritePng(image, o.outPath);
        if (!error.empty())
            return Fail(error);
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    return 0;
}

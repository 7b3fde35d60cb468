// SPDX-License-Identifier: GPL-3.0-or-later
// Judges a screenshot of the general error report that a broken picture
// brings up during a show. The helper loads PICTURE as the show does, builds
// the report of its error (ErrorReportBox, Fusion, Qt's Chinese texts, on the
// same X server as the program: the same fonts and resolution) and draws it
// off screen: the reference. The shot passes when
//
//   - the reference and the shot show the parts a person reads: in the icon's
//     place the error icon's red disc and its white cross, in the text's place
//     dark letters on the light box, in the button's place the dark outline
//     and caption of a button; the box light around them;
//   - the shot is the reference: no more than 0.5 % of its pixels differ by
//     more than a tenth of the range in any channel.
//
// A blank or single-coloured shot has no red beside dark and light: it fails.
//
//   report_box_check PICTURE SHOT.png [REFERENCE.png]   exit 0: passes, 1: fails
//   report_box_check PICTURE --size                     prints the report's W H
//
// The reference is written to REFERENCE.png when given.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QAbstractButton>

#include "app/ErrorReport.h"
#include "app/ErrorReportBox.h"
#include "app/desktop/QtChinese.h"
#include "platform/picture/JpegRendition.h"

namespace {

// Share of a rectangle's pixels that pass a test of their colour.
template <typename Test>
double Share(const QImage& image, const QRect& area, Test test)
{
    const QRect r = area.intersected(image.rect());
    if (r.isEmpty())
        return 0;
    long hits = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            hits += test(QColor(image.pixel(x, y))) ? 1 : 0;
    return double(hits) / (double(r.width()) * r.height());
}

int Luma(const QColor& c)
{
    return (299 * c.red() + 587 * c.green() + 114 * c.blue()) / 1000;
}

bool Red(const QColor& c) { return c.red() > 170 && c.green() < 90 && c.blue() < 90; }
bool White(const QColor& c) { return c.red() > 220 && c.green() > 220 && c.blue() > 220; }
bool Dark(const QColor& c) { return Luma(c) < 110; }
bool Light(const QColor& c) { return Luma(c) > 200; }

// One requirement on a part of the box: the share of its pixels that pass a
// colour test is at least `least`.
struct Requirement {
    const char* part;
    QRect area;
    const char* colour;
    bool (*test)(const QColor&);
    double least;
};

// Checks every requirement on `image`; prints each figure, and each miss
// with `name`. True when all are met.
bool MeetsAll(const QImage& image, const std::vector<Requirement>& requirements, const char* name)
{
    bool all = true;
    for (const Requirement& q : requirements) {
        const double share = Share(image, q.area, q.test);
        const bool met = share >= q.least;
        std::printf("%s: %s: %.1f %% %s (at least %.1f %%)%s\n", name, q.part, 100 * share, q.colour,
                    100 * q.least, met ? "" : "  <- MISSING");
        all = all && met;
    }
    return all;
}

// Share of the pixels of two images of one size that differ by more than
// `tolerance` in a channel.
double DifferingShare(const QImage& a, const QImage& b, int tolerance)
{
    long differing = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QColor p(a.pixel(x, y)), q(b.pixel(x, y));
            differing += std::abs(p.red() - q.red()) > tolerance || std::abs(p.green() - q.green()) > tolerance
                    || std::abs(p.blue() - q.blue()) > tolerance;
        }
    return double(differing) / (double(a.width()) * a.height());
}

// The text of the report the show gives for the picture: its load error.
std::string ReportTextFor(const char* picture)
{
    try {
        kalvio::LoadPictureRendition(picture, 1024, 768);
    } catch (const std::exception& e) {
        return kalvio::ErrorReportText(e.what());
    }
    throw std::runtime_error(std::string(picture) + " loads: it brings no report");
}

}

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: %s PICTURE SHOT.png [REFERENCE.png] | PICTURE --size\n", argv[0]);
        return 2;
    }
    // As the program sets itself up for its reports.
    QApplication app(argc, argv);
    app.setStyle("Fusion");
    kalvio::InstallQtChinese(app);

    std::string text;
    try {
        text = ReportTextFor(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    kalvio::ErrorReportBox box(nullptr, QString::fromStdString(text), "kalvio");
    box.setAttribute(Qt::WA_DontShowOnScreen);
    box.show();
    const QImage reference = box.grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (std::string(argv[2]) == "--size") {
        std::printf("%d %d\n", reference.width(), reference.height());
        return 0;
    }
    if (argc == 4)
        reference.save(QString::fromLocal8Bit(argv[3]), "PNG");

    const auto* icon = box.findChild<QLabel*>("qt_msgboxex_icon_label");
    const auto* label = box.findChild<QLabel*>("qt_msgbox_label");
    const QAbstractButton* ok = box.button(QMessageBox::Ok);
    if (!icon || !label || !ok) {
        std::fprintf(stderr, "the report has no icon, text or OK button to look at\n");
        return 2;
    }
    // The icon is drawn centred in its label at its pixmap's size.
    QRect iconArea(QPoint(0, 0), icon->pixmap().deviceIndependentSize().toSize());
    iconArea.moveCenter(icon->geometry().center());
    const QRect textArea = label->geometry();
    const QRect buttonArea(ok->mapTo(&box, QPoint(0, 0)), ok->size());
    const std::vector<Requirement> parts {
        { "icon", iconArea, "red", Red, 0.25 },
        { "icon", iconArea, "white", White, 0.03 },
        { "text", textArea, "dark", Dark, 0.03 },
        { "text", textArea, "light", Light, 0.50 },
        { "button", buttonArea, "dark", Dark, 0.05 },
        { "button", buttonArea, "light", Light, 0.30 },
        { "box", box.rect(), "light", Light, 0.70 },
    };

    // Where a click lands on OK, in the report's own coordinates.
    std::printf("button-centre: %d %d\n", buttonArea.center().x(), buttonArea.center().y());
    const bool drawn = MeetsAll(reference, parts, "reference");
    QImage shot;
    if (!shot.load(QString::fromLocal8Bit(argv[2]))) {
        std::printf("FAIL: cannot read %s\n", argv[2]);
        return 1;
    }
    shot = shot.convertToFormat(QImage::Format_RGB32);
    if (shot.size() != reference.size()) {
        std::printf("FAIL: the shot is %d x %d, the report %d x %d\n", shot.width(), shot.height(),
                    reference.width(), reference.height());
        return 1;
    }
    const bool seen = MeetsAll(shot, parts, "screen");
    const double differing = DifferingShare(shot, reference, 25);
    const bool same = differing <= 0.005;
    std::printf("screen: %.2f %% of the pixels differ from the reference (at most 0.50 %%)%s\n", 100 * differing,
                same ? "" : "  <- DIFFERENT");
    return drawn && seen && same ? 0 : 1;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// Kalvio: a picture slideshow player. One run plays one show.

#include <QObject>

#include <malloc.h>

#include "app/AppIcon.h"
#include "app/ErrorReport.h"
#include "app/ProgramIdentity.h"
#include "app/desktop/QtChinese.h"
#include "app/Tfrm_kalvio.h"

int main(int argc, char** argv)
{
    // Blocks of a megabyte and more (a progressive picture's coefficients, tens
    // of megabytes) go back to the system when freed. By default the allocator
    // raises this threshold after such a free, and the decode worker's arena
    // then kept its largest picture's working memory for the rest of the show.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    kalvio::KalvioApplication app(argc, argv);
    app.setStyle("Fusion");
    app.setWindowIcon(kalvio::KalvioIcon());
    // Names the desktop entry: Wayland compositors find the icon and name by it.
    app.setDesktopFileName(kalvio::DesktopEntryId);
    kalvio::InstallQtChinese(app);

    kalvio::Tfrm_kalvio frm_kalvio;
    if (frm_kalvio.Refused())
        return 0;   // another copy runs; it was told nothing
    QObject::connect(&frm_kalvio, &kalvio::Tfrm_kalvio::closed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    frm_kalvio.show();
    app.exec();
    return 0;
}

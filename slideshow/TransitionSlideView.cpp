// SPDX-License-Identifier: GPL-3.0-or-later
#include "slideshow/TransitionSlideView.h"

#include <QEvent>

#include "transition/TransitionView.h"

namespace kalvio {

TransitionSlideView::TransitionSlideView(TTransitionView& view, PicturePrefetcher::Decoder decode)
    : view_(view), prefetcher_(std::move(decode))
{
    view_.installEventFilter(this);
}

TransitionSlideView::~TransitionSlideView()
{
    view_.removeEventFilter(this);
}

bool TransitionSlideView::Busy() const
{
    return view_.Busy();
}

void TransitionSlideView::Stop()
{
    view_.Stop();
}

void TransitionSlideView::Execute()
{
    struct LetGo {
        TTransitionView& view;
        ~LetGo() { view.Picture().Clear(); }
    } letGo { view_ };
    view_.Execute();
}

void TransitionSlideView::SetStyle(int style)
{
    view_.SetStyle(TShowStyle(style));
}

PictureRequest TransitionSlideView::RequestFor(int index, const std::string& path) const
{
    const Rect client = view_.ClientRect();
    return { index, path, client.width(), client.height() };
}

void TransitionSlideView::LoadPicture(const std::string& path)
{
    const Rect client = view_.ClientRect();
    view_.Picture().Assign(prefetcher_.Decode(path, client.width(), client.height()));
}

void TransitionSlideView::LoadEntry(int index, const std::string& path)
{
    prepared_.reset();
    if (auto picture = prefetcher_.Take(RequestFor(index, path)))
        view_.Picture().Assign(std::move(picture));
    else
        LoadPicture(path);
}

void TransitionSlideView::PrepareEntry(int index, const std::string& path)
{
    prepared_.emplace(index, path);
    StartPrepared();
}

void TransitionSlideView::DropPrepared()
{
    prepared_.reset();
    prefetcher_.Cancel();
}

void TransitionSlideView::StartPrepared()
{
    // A view not shown yet has no final size: its entry is made when it shows.
    if (prepared_ && view_.isVisible())
        prefetcher_.Start(RequestFor(prepared_->first, prepared_->second));
}

bool TransitionSlideView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &view_) {
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Resize:
        case QEvent::ScreenChangeInternal:
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
        case QEvent::DevicePixelRatioChange:
#endif
            StartPrepared();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

}

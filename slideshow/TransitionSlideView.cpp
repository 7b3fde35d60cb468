// SPDX-License-Identifier: GPL-3.0-or-later
#include "slideshow/TransitionSlideView.h"

#include <QEvent>
#include <QMetaObject>
#include <stdexcept>

#include "transition/TransitionView.h"

namespace kalvio {

TransitionSlideView::TransitionSlideView(TTransitionView& view, PicturePrefetcher::Decoder decode,
                                         std::chrono::milliseconds noAnswerLimit)
    : view_(view)
    // Runs on the worker: only posts the news, to a slot that finds out
    // itself what it means. The prefetcher is gone before this object.
    , prefetcher_(std::move(decode), [this] { QMetaObject::invokeMethod(this, &TransitionSlideView::EntryMade, Qt::QueuedConnection); })
{
    view_.installEventFilter(this);
    noAnswer_.setSingleShot(true);
    noAnswer_.setInterval(noAnswerLimit);
    connect(&noAnswer_, &QTimer::timeout, this, &TransitionSlideView::NoAnswer);
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
    LoadEntry(-1, path);
}

void TransitionSlideView::LoadEntry(int index, const std::string& path)
{
    std::shared_ptr<const Bitmap> picture;
    try {
        picture = prefetcher_.Take(RequestFor(index, path));
    } catch (...) {
        StopWaiting();
        prepared_.reset();
        throw;
    }
    if (!picture)
        throw std::logic_error("Picture \"" + path + "\" taken before it was made");
    StopWaiting();
    prepared_.reset();
    view_.Picture().Assign(std::move(picture));
}

bool TransitionSlideView::EntryReady(int index, const std::string& path, EntryListener listener)
{
    StopWaiting();
    prepared_.emplace(index, path);
    if (prefetcher_.Ready(RequestFor(index, path)))
        return true;
    listener_ = std::move(listener);
    noAnswer_.start();
    return false;
}

void TransitionSlideView::StopWaiting()
{
    listener_ = nullptr;
    noAnswer_.stop();
}

void TransitionSlideView::EntryMade()
{
    // Another size since it was asked for: Ready starts it again at this one.
    if (!listener_ || !prepared_ || !prefetcher_.Ready(RequestFor(prepared_->first, prepared_->second)))
        return;
    const EntryListener listener = std::move(listener_);
    StopWaiting();
    listener(nullptr);
}

void TransitionSlideView::NoAnswer()
{
    if (!listener_ || !prepared_)
        return;
    // Told once; the listener stays for the news of the read still in flight.
    const EntryListener listener = listener_;
    listener(std::make_exception_ptr(FileNotAnswering(prepared_->second)));
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

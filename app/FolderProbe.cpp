// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/FolderProbe.h"

#include <QMetaObject>
#include <QTimer>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include <dirent.h>

#include "slideshow/ThreadJoiner.h"

namespace kalvio {

namespace {

// What a file dialog does first with its folder: open it and read entries.
void Touch(const std::string& folder)
{
    if (DIR* dir = ::opendir(folder.c_str())) {
        ::readdir(dir);
        ::closedir(dir);
    }
}

}

// What the checking thread uses; it holds its own reference.
struct FolderProbe::Shared {
    std::mutex mutex;
    FolderProbe* receiver = nullptr; // cleared when the probe goes
    bool checking = false; // a thread is in its call
};

FolderProbe::FolderProbe(QObject* parent)
    : QObject(parent)
    , shared_(std::make_shared<Shared>())
    , limit_(new QTimer(this))
{
    shared_->receiver = this;
    limit_->setSingleShot(true);
    connect(limit_, &QTimer::timeout, this, [this] { Deliver(false); });
}

FolderProbe::~FolderProbe()
{
    std::lock_guard lock(shared_->mutex);
    shared_->receiver = nullptr;
}

void FolderProbe::Ask(const std::string& folder, std::chrono::milliseconds limit, Answer answer)
{
    const uint64_t question = ++question_;
    answer_ = std::move(answer);
    bool started = false;
    {
        std::lock_guard lock(shared_->mutex);
        if (!shared_->checking) {
            try {
                JoinInBackground(std::thread([shared = shared_, folder, question] {
                    Touch(folder);
                    std::lock_guard lock(shared->mutex);
                    shared->checking = false;
                    if (FolderProbe* probe = shared->receiver)
                        QMetaObject::invokeMethod(probe, [probe, question] { probe->Arrived(question); },
                                                  Qt::QueuedConnection);
                }));
                shared_->checking = started = true;
            } catch (const std::system_error&) {
                // No thread to spare: no answer.
            }
        }
    }
    // The earlier check still stuck, or none could start: no answer, at once
    // but from the event loop as every answer.
    limit_->start(started ? limit : std::chrono::milliseconds(0));
}

void FolderProbe::Arrived(uint64_t question)
{
    if (question == question_)
        Deliver(true);
}

void FolderProbe::Deliver(bool answered)
{
    limit_->stop();
    if (Answer answer = std::exchange(answer_, nullptr))
        answer(answered);
}

}

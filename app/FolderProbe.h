// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QTimer;

namespace kalvio {

// Whether a folder answers, asked on a thread of its own so that the GUI
// thread never waits on the file system: the answer comes through the event
// loop, at the latest when the limit is up. A folder answers when opening and
// listing it returns in time, whatever it returns (a missing folder answers
// too). A check stuck in a call on a share that no longer answers keeps its
// thread; while it does, a new question gets "no answer" at once, so at most
// one thread is ever stuck here.
class FolderProbe : public QObject {
    Q_OBJECT
public:
    using Answer = std::function<void(bool answered)>;

    explicit FolderProbe(QObject* parent = nullptr);
    ~FolderProbe() override;

    // Calls `answer` once, from the event loop. A question asked while one
    // is open replaces it; the earlier one is never answered.
    void Ask(const std::string& folder, std::chrono::milliseconds limit, Answer answer);
    // A question is open.
    bool Asking() const { return answer_ != nullptr; }

private:
    struct Shared;
    void Arrived(uint64_t question);
    void Deliver(bool answered);

    std::shared_ptr<Shared> shared_;
    QTimer* limit_;
    Answer answer_;
    uint64_t question_ = 0;
};

}

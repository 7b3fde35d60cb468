// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointF>
#include <QTimer>
#include <chrono>
#include <optional>

class QWidget;

namespace kalvio {

// Hides the mouse pointer over a window once it has rested there for a while,
// and shows it again as soon as it moves. A menu opened over the window holds
// the pointer visible until it closes.
class PointerHider : public QObject {
    Q_OBJECT
public:
    PointerHider(QWidget& window, std::chrono::milliseconds rest);
    ~PointerHider() override;

    // Counts the rest from now (the window was just shown).
    void Start();
    // Shows the pointer and stops counting, while a menu is open.
    void Hold();
    // Counts the rest again from now.
    void Release();

    bool Hidden() const { return hidden_; }
    // The rest's timer, for tests that run its clock faster.
    QTimer& RestTimer() { return timer_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Hide();
    void Show();

    QWidget& window_;
    QTimer timer_;
    std::optional<QPointF> lastPosition_;
    bool hidden_ = false;
    bool held_ = false;
};

}

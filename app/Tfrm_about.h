// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>

class QFrame;
class QLabel;
class QPushButton;

namespace kalvio {

class LinkLabel;

// The about window: product name, version, slogan and the home page link.
class Tfrm_about : public QDialog {
    Q_OBJECT
public:
    using UrlOpener = std::function<void(const QUrl&)>;

    // `openUrl` opens the home page; by default the user's web browser.
    explicit Tfrm_about(UrlOpener openUrl = {});

    QLabel* Label4;
    QFrame* Shape1;
    QLabel* Label_ver;
    QLabel* Label5;
    QLabel* Label2;
    LinkLabel* Label_url;
    QFrame* Shape2;
    QPushButton* Button1;

    void Button1Click();
    void Label_urlClick();
    void Label_urlMouseEnter();
    void Label_urlMouseLeave();

protected:
    void showEvent(QShowEvent* event) override;

private:
    UrlOpener openUrl_;
    bool placed_ = false;
};

// Shows a fresh about window modally and returns when it is closed.
void ShowAboutBox(Tfrm_about::UrlOpener openUrl = {});

}

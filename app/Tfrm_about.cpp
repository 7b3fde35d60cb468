// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Tfrm_about.h"

#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "slideshow/Fonts.h"
#include "app/HomePage.h"
#include "app/LinkLabel.h"
#include "app/WindowPlacement.h"

namespace kalvio {

namespace {
const QColor Maroon(0x80, 0x00, 0x00);
const QColor Green(0x00, 0x80, 0x00);
const QColor Navy(0x00, 0x00, 0x80);

template <typename Label>
Label* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect place, QColor colour)
{
    auto* label = new Label(text, parent);
    label->setObjectName(name);
    label->setGeometry(place);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->setAutoFillBackground(false);
    return label;
}

QFrame* MakeRule(QWidget* parent, const char* name, QRect place)
{
    auto* rule = new QFrame(parent);
    rule->setObjectName(name);
    rule->setGeometry(place);
    rule->setFrameShape(QFrame::NoFrame);
    QPalette palette = rule->palette();
    palette.setColor(QPalette::Window, Maroon);
    rule->setPalette(palette);
    rule->setAutoFillBackground(true);
    return rule;
}
}

Tfrm_about::Tfrm_about(UrlOpener openUrl)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                           | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint)
    , openUrl_(std::move(openUrl))
{
    setObjectName("frm_about");
    setWindowTitle(QString::fromUtf8("关于"));
    setFixedSize(325, 203);
    setFont(SerifFont(12));

    Label4 = MakeLabel<QLabel>(this, "Label4", "Kalvio", { 27, 26, 124, 29 }, Maroon);
    QFont title = KaiFont(29);
    title.setBold(true);
    Label4->setFont(title);
    Shape1 = MakeRule(this, "Shape1", { 31, 60, 274, 1 });
    Label_ver = MakeLabel<QLabel>(this, "Label_ver", QString::fromUtf8("版本：2.0"), { 31, 72, 54, 12 }, Maroon);
    Label5 = MakeLabel<QLabel>(this, "Label5", QString::fromUtf8("绿色/免安装/无插件/免费"),
                               { 31, 108, 138, 12 }, Green);
    Label2 = MakeLabel<QLabel>(this, "Label2", QString::fromUtf8("软件主页："), { 31, 126, 60, 12 }, Maroon);
    Label_url = MakeLabel<LinkLabel>(this, "Label_url", HomePageCaption(),
                                     { 94, 126, 90, 12 }, Navy);
    Label_url->setCursor(Qt::PointingHandCursor);
    Shape2 = MakeRule(this, "Shape2", { 27, 151, 274, 1 });

    Button1 = new QPushButton(QString::fromUtf8("确定(&S)"), this);
    Button1->setObjectName("Button1");
    Button1->setGeometry(226, 166, 75, 25);
    Button1->setDefault(true);
    Button1->setFocus();

    connect(Button1, &QPushButton::clicked, this, &Tfrm_about::Button1Click);
    connect(Label_url, &LinkLabel::clicked, this, &Tfrm_about::Label_urlClick);
    connect(Label_url, &LinkLabel::mouseEntered, this, &Tfrm_about::Label_urlMouseEnter);
    connect(Label_url, &LinkLabel::mouseLeft, this, &Tfrm_about::Label_urlMouseLeave);
}

void Tfrm_about::Button1Click()
{
    close();
}

void Tfrm_about::Label_urlClick()
{
    const QUrl url(QString::fromUtf8(HomePageAddress));
    if (openUrl_)
        openUrl_(url);
    else
        QDesktopServices::openUrl(url);
}

void Tfrm_about::Label_urlMouseEnter()
{
    UnderlineOnEnter(*Label_url);
}

void Tfrm_about::Label_urlMouseLeave()
{
    PlainOnLeave(*Label_url);
}

void Tfrm_about::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    CentreOnFirstShow(*this, placed_);
}

void ShowAboutBox(Tfrm_about::UrlOpener openUrl)
{
    Tfrm_about about(std::move(openUrl));
    about.exec();
}

}

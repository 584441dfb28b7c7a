#include "form/GlobalStyleSheet.h"

#include <QApplication>

void applyGlobalStyleSheet()
{
    // One line on purpose: this exact text is the look the artwork was drawn for.
    qApp->setStyleSheet(
        "QSlider{width:16px;height:16px}QSlider::handle{height: 16px;width:16px;border-image: "
        "url(:/controls/pic/control/SliderButton.png);margin: -0 "
        "-6px;}QSlider::groove:horizontal{height:4px;background-color:#A7A7A9;}QSlider::add-page:horizontal{"
        "background-color:#A7A7A9;}QSlider::sub-page:horizontal{background-color:#FFA600;}QSlider::groove:"
        "vertical{width:4px;background-color:#FFA600;}QSlider::add-page:vertical{background-color:#FFA600;}"
        "QSlider::sub-page:vertical{background-color:#A7A7A9;}QRadioButton{font:18px;color:rgb(255, 255, "
        "255);}QRadioButton::checked{color:rgb(255, 166, 0);}QRadioButton::indicator {width: 20px;height: "
        "20px;image: url(:/controls/pic/control/waiyuan.png)}QRadioButton::indicator::checked {image: "
        "url(:/controls/pic/control/radiobutton.png)}");
}

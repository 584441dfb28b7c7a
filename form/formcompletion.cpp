#include "form/formcompletion.h"

#include "form/fontfiles.h"
#include "form/windowpictures.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>

namespace
{

QLabel *decorationLabel(QWidget *parent, const QString &picture, bool scaled)
{
    auto *label = new QLabel(parent);
    WindowPictures::setLabelPicture(label, picture);
    label->setScaledContents(scaled);
    return label;
}

} // namespace

void completeToneTuningToolForm(Ui_ToneTuningToolClass &ui)
{
    // uic names every widget it creates; these three are reached through their members only.
    ui.label_TopImage->setObjectName(QString());
    ui.label_BottomBar->setObjectName(QString());
    ui.label_TopRightIcon->setObjectName(QString());

    // Their pictures, decoded when the window is shown (at twice their size on a
    // high-density screen).
    WindowPictures::setLabelPicture(ui.label_TopImage, ":/controls/pic/control/top_img.png");
    WindowPictures::setLabelPicture(ui.label_BottomBar, ":/controls/pic/control/bottom_back.png");
    WindowPictures::setLabelPicture(ui.label_TopRightIcon, ":/controls/pic/control/right.png");

    // The start picture of the no-headset view, centred a little above the middle.
    QLabel *start = decorationLabel(ui.label_DefaultBackground, ":/controls/pic/control/start.png", true);
    start->setFixedSize(340, 90);
    auto *startLayout = new QHBoxLayout(ui.label_DefaultBackground);
    startLayout->setContentsMargins(0, 0, 0, 60);
    startLayout->addWidget(start, 0, Qt::AlignHCenter);

    decorationLabel(ui.label_BottomBar, ":/controls/pic/control/right_bottom.png", false)
        ->setGeometry(930, 20, 218, 16);
    decorationLabel(ui.label_BottomBar, ":/controls/pic/control/left_bottom.png", true)
        ->setGeometry(30, 9, 150, 40);

    registerFontFile(":/font/pic/MyriadProLight.OTF");
    QFont headFont = ui.label_DefaultHead->font();
    headFont.setPixelSize(16);
    headFont.setBold(true);
    headFont.setFamily("Myriad Pro Light");
    ui.label_DefaultHead->setFont(headFont);
}

#include "form/formcompletion.h"

#include "form/fontfiles.h"
#include "form/picturefiles.h"

#include <QApplication>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>

namespace
{

QLabel *decorationLabel(QWidget *parent, const QString &picture, bool scaled)
{
    auto *label = new QLabel(parent);
    label->setPixmap(loadPicture(picture, qApp->devicePixelRatio()));
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

    // The form loads its pictures at their own size; on a high-density screen the
    // double-size artwork is the sharp one.
    const qreal ratio = qApp->devicePixelRatio();
    if (ratio > 1.0) {
        ui.label_TopImage->setPixmap(loadPicture(":/controls/pic/control/top_img.png", ratio));
        ui.label_BottomBar->setPixmap(loadPicture(":/controls/pic/control/bottom_back.png", ratio));
        ui.label_TopRightIcon->setPixmap(loadPicture(":/controls/pic/control/right.png", ratio));
    }

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

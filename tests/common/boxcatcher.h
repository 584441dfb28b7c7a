#pragma once

// Accepts every message box the window opens while it is alive, as a user would: each box
// runs a modal loop of its own, and a test must never hang on one. Remembers
// "title|text" of each and runs `onBox` while the box is still open.

#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

class BoxCatcher : public QObject
{
  public:
    BoxCatcher()
    {
        connect(&m_timer, &QTimer::timeout, this, &BoxCatcher::poll);
        m_timer.start(5);
    }

    QStringList seen;
    std::function<void()> onBox;

  private:
    void poll()
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(widget);
            if (!box || !box->isVisible())
                continue;
            seen << box->windowTitle() + "|" + box->text();
            if (onBox)
                onBox();
            box->done(QMessageBox::Ok);
        }
    }

    QTimer m_timer;
};

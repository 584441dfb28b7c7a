#pragma once

#include "ui_ToneTuningTool.h"

#include <QMainWindow>

class ToneTuningTool : public QMainWindow
{
    Q_OBJECT

public:
    explicit ToneTuningTool(QWidget *parent = nullptr);

    Ui_ToneTuningToolClass ui;
};

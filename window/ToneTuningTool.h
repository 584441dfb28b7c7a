#pragma once

#include "ui_ToneTuningTool.h"

#include <QMainWindow>

class WriteReadJson;

class ToneTuningTool : public QMainWindow
{
    Q_OBJECT

public:
    explicit ToneTuningTool(QWidget *parent = nullptr);

    Ui_ToneTuningToolClass ui;
    WriteReadJson *m_writeReadJson = nullptr; // profile and settings store; no parent, never deleted

    // Checks that the per-user folder can be read and written; warns with a box if not.
    void initFilePath();
};

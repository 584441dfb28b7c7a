#pragma once

#include "ui_ToneTuningTool.h"

// The parts of the main window form that the designer description cannot hold: three
// labels that are members without an object name, three decoration labels that are
// neither named nor members, and the header font that needs a font file registered
// first. Call right after setupUi. The labels' pictures are decoded only once they can be
// seen (WindowPictures::setLabelPicture).
void completeToneTuningToolForm(Ui_ToneTuningToolClass &ui);

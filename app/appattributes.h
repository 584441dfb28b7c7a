#pragma once

// The application-wide settings the program runs with: Qt's attributes and how the C
// library hands out large blocks. Set before the QApplication is made; benches that build
// the window in their own process set the same ones.
void setApplicationAttributes();

#pragma once

// The application-wide Qt attributes the program runs with; set before the QApplication
// is made. Benches that build the window in their own process set the same ones.
void setApplicationAttributes();

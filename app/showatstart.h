#pragma once

// Whether the entry routine shows the window once it is built: 0 keeps it hidden in the
// tray (a start from the log-on autostart entry), anything else shows it. The window
// writes it while it is constructed; the entry routine reads it afterwards.
extern int showAtStart;

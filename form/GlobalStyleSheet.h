#pragma once

// Installs the application-wide style sheet: every slider gets the handle picture and
// the orange/grey track, every radio button white text that turns orange when selected
// and the two indicator pictures. Called once, before the main window is built, so the
// window's widgets are polished with it from the start.
void applyGlobalStyleSheet();

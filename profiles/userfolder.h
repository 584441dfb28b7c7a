#pragma once

// The per-user folder: the documents folder, then a folder named after the program file
// (its name without the last suffix), then "UserFile/".

#include <QString>

#include <functional>

QString userFolderPath();

// Creates the folder where missing and checks that the program may read and write it.
// On failure it leaves a trace line and calls `warnNoPermission`, which the window
// supplies to show its box; nothing else changes. Returns whether the check passed.
bool checkUserFolder(const std::function<void()> &warnNoPermission);

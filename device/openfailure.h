#pragma once

// The trace line written when the headset's HID interface is found but cannot be opened.
// It names the device node and the cause, because the usual cause is one the user can
// fix: without the udev rule the hidraw node belongs to root ("Permission denied").

#include <QString>

// "Cannot open <path>: <cause>". For a device node the cause is the file system's
// answer to a read-and-write access check, which tells a missing rule from a node that
// vanished; otherwise (or when access is granted) it is `libraryError`, the HID library's
// own message, unless that is empty or hidapi's placeholder "Success".
QString openFailureTrace(const QString &path, const QString &libraryError);

#pragma once

// A Qt Test main() that first moves HOME and the XDG folders into a temporary folder,
// so documents, settings, the debug log and the autostart entry of a test never touch
// the real user's files. Use TTT_TEST_MAIN(Class) instead of QTEST_MAIN(Class).

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>

namespace ttt_test {

// Sets HOME, XDG_CONFIG_HOME and XDG_DATA_HOME below `root`.
inline void redirectUserFolders(const QString &root)
{
    const QByteArray r = root.toLocal8Bit();
    qputenv("HOME", r);
    qputenv("XDG_CONFIG_HOME", r + "/.config");
    qputenv("XDG_DATA_HOME", r + "/.local/share");
    QDir().mkpath(root + "/.config");
    QDir().mkpath(root + "/.local/share");
    QDir().mkpath(root + "/Documents");
}

} // namespace ttt_test

#define TTT_TEST_MAIN(TestObject)                                                                            \
    int main(int argc, char *argv[])                                                                         \
    {                                                                                                        \
        QTemporaryDir ttt_home;                                                                              \
        ttt_test::redirectUserFolders(ttt_home.path());                                                      \
        QApplication app(argc, argv);                                                                        \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                             \
        TestObject tc;                                                                                       \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        return QTest::qExec(&tc, argc, argv);                                                                \
    }

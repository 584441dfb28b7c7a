#pragma once

// A Qt Test main() that first moves HOME and the XDG folders into a temporary folder,
// so documents, settings, the debug log and the autostart entry of a test never touch
// the real user's files. Use TTT_TEST_MAIN(Class) instead of QTEST_MAIN(Class).

#include <QApplication>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <cstdio>
#include <cstdlib>

namespace ttt_test {

// Qt Test's message handler formats a line with the current test function's name, which
// is unset for a moment between two test functions; a trace from a worker thread (the
// receive or timing thread) arriving just then crashed the test. Worker-thread traces go
// to stderr directly; everything else still goes through Qt Test.
inline QtMessageHandler &qtTestHandler()
{
    static QtMessageHandler handler = nullptr;
    return handler;
}

inline void routeMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const bool workerTrace = (type == QtDebugMsg || type == QtInfoMsg) && QCoreApplication::instance() &&
                             QThread::currentThread() != QCoreApplication::instance()->thread();
    if (workerTrace || !qtTestHandler()) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        return;
    }
    qtTestHandler()(type, context, message);
}

// QTest::qExec() in its three steps, with the handler above placed over the one Qt Test
// installs when it starts logging.
inline int execTest(QObject *test, int argc, char *argv[])
{
    QTest::qInit(test, argc, argv);
    qtTestHandler() = qInstallMessageHandler(routeMessage);
    const int failures = QTest::qRun();
    qInstallMessageHandler(qtTestHandler());
    QTest::qCleanup();
    return failures;
}

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
        return ttt_test::execTest(&tc, argc, argv);                                                          \
    }

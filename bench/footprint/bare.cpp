// The yardstick of the footprint bench: a bare Qt Widgets window of the program's size
// with a tray icon, and nothing else. Started with "-autorun" it stays hidden in the
// tray like the program; it reads "show" and "hide" lines on its standard input.

#include <QApplication>
#include <QFile>
#include <QMainWindow>
#include <QPixmap>
#include <QSocketNotifier>
#include <QSystemTrayIcon>

#include <unistd.h>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle("bare tray window");
    window.setFixedSize(1176, 736);

    QPixmap dot(64, 64);
    dot.fill(QColor(255, 166, 0));
    QSystemTrayIcon tray(QIcon(dot), &window);
    QObject::connect(&tray, &QSystemTrayIcon::activated, &window, &QWidget::show);
    tray.show();

    QFile input;
    input.open(STDIN_FILENO, QIODevice::ReadOnly);
    QSocketNotifier commands(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&commands, &QSocketNotifier::activated, &window, [&] {
        const QByteArray line = input.readLine().trimmed();
        if (line == "show")
            window.show();
        else if (line == "hide")
            window.hide();
        else if (line.isEmpty() && input.atEnd())
            commands.setEnabled(false);
    });

    if (!app.arguments().contains("-autorun"))
        window.show();
    return app.exec();
}

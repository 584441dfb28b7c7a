#pragma once

// Collects the program's debug trace lines (qDebug and friends) from every thread while
// it exists, so a test can assert on the traces the program promises.

#include <QStringList>
#include <QtGlobal>

#include <mutex>

class TraceCapture
{
  public:
    TraceCapture()
    {
        instance() = this;
        m_previous = qInstallMessageHandler(&TraceCapture::handle);
    }
    ~TraceCapture()
    {
        qInstallMessageHandler(m_previous);
        instance() = nullptr;
    }

    QStringList lines() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    int count(const QString &line) const { return lines().count(line); }
    bool contains(const QString &text) const
    {
        for (const QString &line : lines())
            if (line.contains(text))
                return true;
        return false;
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.clear();
    }

  private:
    static TraceCapture *&instance()
    {
        static TraceCapture *current = nullptr;
        return current;
    }
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (TraceCapture *capture = instance()) {
            std::lock_guard<std::mutex> lock(capture->m_mutex);
            capture->m_lines.append(message);
        }
        // Warnings and worse still reach Qt Test, which may fail the test on them.
        if (type != QtDebugMsg && type != QtInfoMsg && instance() && instance()->m_previous)
            instance()->m_previous(type, context, message);
    }

    // A standard mutex, not QMutex: Qt 5 locks a QMutex inside its own library, which
    // ThreadSanitizer does not see, so it would report every trace as a race.
    mutable std::mutex m_mutex;
    QStringList m_lines;
    QtMessageHandler m_previous = nullptr;
};

#pragma once

// Collects the program's debug trace lines (qDebug and friends) from every thread while
// it exists, so a test can assert on the traces the program promises.

#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QtGlobal>

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
        QMutexLocker lock(&m_mutex);
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
        QMutexLocker lock(&m_mutex);
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
            QMutexLocker lock(&capture->m_mutex);
            capture->m_lines.append(message);
        }
        // Warnings and worse still reach Qt Test, which may fail the test on them.
        if (type != QtDebugMsg && type != QtInfoMsg && instance() && instance()->m_previous)
            instance()->m_previous(type, context, message);
    }

    mutable QMutex m_mutex;
    QStringList m_lines;
    QtMessageHandler m_previous = nullptr;
};

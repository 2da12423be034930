#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// Collects every log message while it lives (and passes none on), so a test can look for a line.
class LogCapture {
public:
    LogCapture() {
        s_current = this;
        m_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture() {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }

    struct Line {
        QtMsgType type;
        QString text;
    };
    QList<Line> lines;

    int count(QtMsgType type, const QString& prefix) const {
        int n = 0;
        for (const Line& line : lines)
            n += line.type == type && line.text.startsWith(prefix) ? 1 : 0;
        return n;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (s_current)
            s_current->lines.append({type, text});
    }

    static inline LogCapture* s_current = nullptr;
    QtMessageHandler m_previous = nullptr;
};

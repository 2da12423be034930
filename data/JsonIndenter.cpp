#include "data/JsonIndenter.h"

#include <algorithm>

namespace {

constexpr qsizetype kSpacesPerLevel = 4;

bool isStructural(char c) {
    return c == '{' || c == '}' || c == '[' || c == ']' || c == ',' || c == ':' || c == '"';
}

class Writer {
public:
    explicit Writer(qsizetype compactSize) {
        // Indenting roughly doubles a session's text (a number a line, three or four levels deep).
        m_text.reserve(compactSize * 2 + 64);
    }

    void feed(const QByteArray& piece) {
        const char* c = piece.constData();
        const char* const end = c + piece.size();
        while (c < end) {
            if (m_inString) {
                c = copyString(c, end);
                continue;
            }
            switch (*c) {
            case '{':
            case '[':
                startValue();
                m_text.append(*c);
                m_text.append('\n');
                ++m_depth;
                m_atLineStart = true;
                break;
            case '}':
            case ']':
                // An empty container has its closing bracket on the line after the opening one, as well.
                if (!m_atLineStart)
                    m_text.append('\n');
                m_depth = std::max<qsizetype>(m_depth - 1, 0);
                writeIndent();
                m_text.append(*c);
                m_atLineStart = false;
                break;
            case ',':
                m_text.append(",\n");
                m_atLineStart = true;
                break;
            case ':':
                m_text.append(": ");
                break;
            case '"':
                startValue();
                m_text.append('"');
                m_inString = true;
                break;
            default: {
                // A number or a literal: copied up to the next structural character.
                startValue();
                const char* run = c + 1;
                while (run < end && !isStructural(*run))
                    ++run;
                m_text.append(c, run - c);
                c = run;
                continue;
            }
            }
            ++c;
        }
    }

    QByteArray finish() {
        m_text.append('\n');
        return std::move(m_text);
    }

private:
    // Copies string text up to and including its closing quote, or to the end of the piece.
    const char* copyString(const char* c, const char* end) {
        const char* run = c;
        while (run < end) {
            if (m_escaped) {
                m_escaped = false;
            } else if (*run == '\\') {
                m_escaped = true;
            } else if (*run == '"') {
                m_inString = false;
                ++run;
                break;
            }
            ++run;
        }
        m_text.append(c, run - c);
        return run;
    }

    // A member or element that begins a line is indented to its level.
    void startValue() {
        if (m_atLineStart)
            writeIndent();
        m_atLineStart = false;
    }

    void writeIndent() { m_text.append(m_depth * kSpacesPerLevel, ' '); }

    QByteArray m_text;
    qsizetype m_depth = 0;
    bool m_atLineStart = true;
    bool m_inString = false;
    bool m_escaped = false;
};

} // namespace

QByteArray JsonIndenter::indent(const QList<QByteArray>& compactPieces) {
    qsizetype size = 0;
    for (const QByteArray& piece : compactPieces)
        size += piece.size();
    Writer writer(size);
    for (const QByteArray& piece : compactPieces)
        writer.feed(piece);
    return writer.finish();
}

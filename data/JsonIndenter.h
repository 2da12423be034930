#pragma once

#include <QByteArray>
#include <QList>

// Turns compact JSON text into the indented form, byte for byte what QJsonDocument::toJson(Indented)
// writes for the same document (four spaces a level, one member or element a line, ": " after a key, a line
// feed at the end). Strings and numbers are copied as they are, so the compact text must be what
// QJsonDocument writes in compact form; the text may come in pieces split anywhere.
// Touches nothing but its arguments: safe on any thread.
class JsonIndenter {
public:
    static QByteArray indent(const QList<QByteArray>& compactPieces);
};

#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// Finds the texts a shown window clips: every visible label, button, group box title, tab and header
// section under a widget is measured with its own font and style against the room it is given there,
// including what its ancestors cut off (a scroll area's contents count whole: the user can scroll to
// them). Lay the window out (show it and process events) before asking.
class TextFit {
public:
    // Widgets inside a widget with one of these object names are not measured.
    explicit TextFit(QStringList skippedObjectNames = {});

    // One line per text that does not fit, naming the window, the widget (class and object name), the
    // text and the shortfall; empty when every text is whole. A tab bar that needs scroll buttons, a
    // tab cut off at the bar's edge and a text already elided (ending in an ellipsis) count as clipped.
    QStringList clippedTexts(const QWidget* root, const QString& windowName) const;

private:
    bool isSkipped(const QWidget* widget, const QWidget* root) const;

    QStringList m_skippedObjectNames;
};

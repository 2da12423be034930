#include "support/TextFit.h"

#include <QAbstractItemModel>
#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOption>
#include <QTabBar>
#include <QTextDocument>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace {

// Wide enough that no style's minimum button width applies to it.
constexpr int kWideContents = 10000;

QString classAndName(const QWidget* widget) {
    QString text = QString::fromLatin1(widget->metaObject()->className());
    if (!widget->objectName().isEmpty())
        text += QStringLiteral(" \"%1\"").arg(widget->objectName());
    return text;
}

// The widget and, for one without an object name of its own, the nearest named widget around it.
QString describe(const QWidget* widget) {
    QString text = classAndName(widget);
    if (widget->objectName().isEmpty()) {
        for (const QWidget* above = widget->parentWidget(); above; above = above->parentWidget()) {
            if (!above->objectName().isEmpty()) {
                text += QStringLiteral(" in ") + classAndName(above);
                break;
            }
        }
    }
    return text;
}

// Qt elides with "…"; where the font lacks it, with three dots glued to the last letter. The program's
// own trailing dots follow a space ("Open Session ...").
bool looksElided(const QString& text) {
    static const QRegularExpression gluedDots(QStringLiteral("\\w\\.\\.\\.$"));
    return text.contains(QChar(0x2026)) || gluedDots.match(text).hasMatch();
}

bool isScrollViewport(const QWidget* widget) {
    const auto* area = qobject_cast<const QAbstractScrollArea*>(widget->parentWidget());
    return area && area->viewport() == widget;
}

// The part of the widget's rectangle (in its own coordinates) that its ancestors leave on screen, up to
// its window. A scroll area's viewport clips nothing here: what it hides is scrolled away, not cut off.
QRect visiblePart(const QWidget* widget) {
    QRect part = widget->rect();
    QPoint offset;
    for (const QWidget* child = widget; !child->isWindow() && child->parentWidget();
         child = child->parentWidget()) {
        const QWidget* parent = child->parentWidget();
        offset += child->pos();
        if (isScrollViewport(parent))
            break;
        part &= parent->rect().translated(-offset);
    }
    return part;
}

class Report {
public:
    explicit Report(const QString& windowName)
        : m_windowName(windowName) {}

    void add(const QWidget* widget, const QString& text, const QString& problem) {
        const QString quoted = text.isEmpty() ? QString() : QStringLiteral("\"%1\" ").arg(text);
        m_lines.append(QStringLiteral("%1: %2: %3%4").arg(m_windowName, describe(widget), quoted, problem));
    }
    void addShortfall(const QWidget* widget, const QString& text, QSize needed, QSize room) {
        if (needed.width() > room.width())
            add(widget, text,
                QStringLiteral("needs %1 px wide, has %2").arg(needed.width()).arg(room.width()));
        else if (needed.height() > room.height())
            add(widget, text,
                QStringLiteral("needs %1 px high, has %2").arg(needed.height()).arg(room.height()));
    }
    QStringList lines() const { return m_lines; }

private:
    QString m_windowName;
    QStringList m_lines;
};

// Where QLabel draws its text: the contents less the margin and the indent on the aligned side.
QRect labelTextRoom(const QLabel* label) {
    const int margin = label->margin();
    QRect room = label->contentsRect().adjusted(margin, margin, -margin, -margin);
    int indent = label->indent();
    if (indent < 0 && label->frameWidth() > 0)
        indent = label->fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2;
    if (indent > 0) {
        const Qt::Alignment align = label->alignment();
        if (align & Qt::AlignLeft)
            room.setLeft(room.left() + indent);
        else if (align & Qt::AlignRight)
            room.setRight(room.right() - indent);
        if (align & Qt::AlignTop)
            room.setTop(room.top() + indent);
        else if (align & Qt::AlignBottom)
            room.setBottom(room.bottom() - indent);
    }
    return room;
}

bool isRichText(const QLabel* label) {
    return label->textFormat() == Qt::RichText ||
           (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
}

void checkLabel(const QLabel* label, Report& report) {
    const QString text = label->text();
    if (text.isEmpty())
        return;
    if (looksElided(text)) {
        report.add(label, text, QStringLiteral("is elided"));
        return;
    }
    const QRect room = labelTextRoom(label) & visiblePart(label);
    const QFontMetrics metrics = label->fontMetrics();
    QSize needed;
    if (isRichText(label)) {
        QTextDocument document;
        document.setDocumentMargin(0);
        document.setDefaultFont(label->font());
        document.setHtml(text);
        if (label->wordWrap()) {
            document.setTextWidth(room.width());
            needed = QSize(int(std::ceil(std::max(document.idealWidth(), 0.0))),
                           int(std::ceil(document.size().height())));
        } else {
            needed = QSize(int(std::ceil(document.idealWidth())), int(std::ceil(document.size().height())));
        }
    } else {
        const int flags = label->buddy() ? Qt::TextShowMnemonic : 0;
        if (label->wordWrap()) {
            // A word longer than the line is not broken: it sticks out sideways.
            needed = metrics
                         .boundingRect(QRect(0, 0, std::max(room.width(), 1), 1 << 20),
                                       flags | Qt::TextWordWrap, text)
                         .size();
        } else {
            needed = metrics.size(flags, text);
        }
    }
    if (label->wordWrap()) {
        // The height the label itself asks for at its width, margins included, against what is shown.
        const int wantedHeight = label->heightForWidth(label->width());
        const int shownHeight = visiblePart(label).height();
        if (wantedHeight > shownHeight) {
            report.add(
                label, text,
                QStringLiteral("needs %1 px high at its width, has %2").arg(wantedHeight).arg(shownHeight));
            return;
        }
        needed.setHeight(0);
    }
    report.addShortfall(label, text, needed, room.size());
}

// The text and icon of a button as it draws them, or an empty size when it shows no text.
QSize buttonContents(const QAbstractButton* button) {
    const QFontMetrics metrics = button->fontMetrics();
    const QSize text = metrics.size(Qt::TextShowMnemonic, button->text());
    const bool hasIcon = !button->icon().isNull();
    Qt::ToolButtonStyle placing = Qt::ToolButtonTextBesideIcon;
    if (const auto* tool = qobject_cast<const QToolButton*>(button)) {
        placing = tool->toolButtonStyle();
        if (placing == Qt::ToolButtonFollowStyle)
            placing =
                Qt::ToolButtonStyle(tool->style()->styleHint(QStyle::SH_ToolButtonStyle, nullptr, tool));
        if (placing == Qt::ToolButtonIconOnly && hasIcon)
            return {};
    }
    if (!hasIcon || placing == Qt::ToolButtonTextOnly || placing == Qt::ToolButtonIconOnly)
        return text;
    const QSize icon = button->iconSize();
    if (placing == Qt::ToolButtonTextUnderIcon)
        return {std::max(text.width(), icon.width()), text.height() + icon.height() + 4};
    return {text.width() + icon.width() + 4, std::max(text.height(), icon.height())};
}

// What the style adds around a button's contents (frame, margins, check indicator), without the
// minimum widths some styles give every button.
int buttonPadding(const QAbstractButton* button, QSize contents) {
    const QSize wide(kWideContents, contents.height());
    const QStyle* style = button->style();
    if (const auto* push = qobject_cast<const QPushButton*>(button)) {
        QStyleOptionButton option;
        option.initFrom(push);
        option.text = push->text();
        option.icon = push->icon();
        option.iconSize = push->iconSize();
        if (push->autoDefault())
            option.features |= QStyleOptionButton::AutoDefaultButton;
        if (push->isDefault())
            option.features |= QStyleOptionButton::DefaultButton;
        if (push->isFlat())
            option.features |= QStyleOptionButton::Flat;
        if (push->menu())
            option.features |= QStyleOptionButton::HasMenu;
        return style->sizeFromContents(QStyle::CT_PushButton, &option, wide, push).width() - kWideContents;
    }
    if (const auto* tool = qobject_cast<const QToolButton*>(button)) {
        QStyleOptionToolButton option;
        option.initFrom(tool);
        option.text = tool->text();
        option.icon = tool->icon();
        option.iconSize = tool->iconSize();
        option.toolButtonStyle = tool->toolButtonStyle();
        option.subControls = QStyle::SC_ToolButton;
        if (tool->menu() || tool->popupMode() == QToolButton::MenuButtonPopup)
            option.features |= QStyleOptionToolButton::Menu;
        return style->sizeFromContents(QStyle::CT_ToolButton, &option, wide, tool).width() - kWideContents;
    }
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    const QStyle::ContentsType type =
        qobject_cast<const QRadioButton*>(button) ? QStyle::CT_RadioButton : QStyle::CT_CheckBox;
    return style->sizeFromContents(type, &option, wide, button).width() - kWideContents;
}

void checkButton(const QAbstractButton* button, Report& report) {
    const QString text = button->text();
    if (text.isEmpty())
        return;
    if (!qobject_cast<const QPushButton*>(button) && !qobject_cast<const QToolButton*>(button) &&
        !qobject_cast<const QCheckBox*>(button) && !qobject_cast<const QRadioButton*>(button))
        return;
    // A lone "..." is a text of its own (a "choose" button), not an elided one.
    if (text != QStringLiteral("...") && looksElided(text)) {
        report.add(button, text, QStringLiteral("is elided"));
        return;
    }
    const QSize contents = buttonContents(button);
    if (contents.isEmpty())
        return;
    const QSize needed(contents.width() + buttonPadding(button, contents), contents.height());
    report.addShortfall(button, text, needed, (button->rect() & visiblePart(button)).size());
}

void checkGroupBox(const QGroupBox* box, Report& report) {
    const QString title = box->title();
    if (title.isEmpty())
        return;
    QStyleOptionGroupBox option;
    option.initFrom(box);
    option.text = title;
    option.textAlignment = box->alignment();
    option.lineWidth = 1;
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    if (box->isCheckable())
        option.subControls |= QStyle::SC_GroupBoxCheckBox;
    if (box->isFlat())
        option.features |= QStyleOptionFrame::Flat;
    const QRect label =
        box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
    const QRect shown = box->rect() & visiblePart(box);
    const int neededRight = label.left() + box->fontMetrics().size(Qt::TextShowMnemonic, title).width();
    if (neededRight > shown.right() + 1)
        report.add(box, title,
                   QStringLiteral("needs %1 px wide, has %2")
                       .arg(neededRight - label.left())
                       .arg(shown.right() + 1 - label.left()));
}

void checkTabBar(const QTabBar* bar, Report& report) {
    QStringList titles;
    for (int tab = 0; tab < bar->count(); ++tab)
        titles.append(bar->tabText(tab));
    for (const char* name : {"ScrollLeftButton", "ScrollRightButton"}) {
        const auto* scroll = bar->findChild<QToolButton*>(QLatin1String(name), Qt::FindDirectChildrenOnly);
        if (scroll && scroll->isVisible()) {
            report.add(bar, titles.join(QStringLiteral("\", \"")),
                       QStringLiteral("need scroll buttons to show"));
            break;
        }
    }
    const QRect shown = bar->rect() & visiblePart(bar);
    const bool vertical = bar->shape() == QTabBar::RoundedWest || bar->shape() == QTabBar::RoundedEast ||
                          bar->shape() == QTabBar::TriangularWest || bar->shape() == QTabBar::TriangularEast;
    for (int tab = 0; tab < bar->count(); ++tab) {
        if (!bar->isTabVisible(tab))
            continue;
        const QString text = bar->tabText(tab);
        if (text.isEmpty())
            continue;
        if (looksElided(text)) {
            report.add(bar, text, QStringLiteral("is elided"));
            continue;
        }
        QStyleOptionTab option;
        option.initFrom(bar);
        option.shape = bar->shape();
        option.rect = bar->tabRect(tab);
        option.text = text;
        option.icon = bar->tabIcon(tab);
        option.iconSize = bar->iconSize();
        option.documentMode = bar->documentMode();
        if (const QWidget* left = bar->tabButton(tab, QTabBar::LeftSide))
            option.leftButtonSize = left->sizeHint();
        if (const QWidget* right = bar->tabButton(tab, QTabBar::RightSide))
            option.rightButtonSize = right->sizeHint();
        const QRect textRect = bar->style()->subElementRect(QStyle::SE_TabBarTabText, &option, bar);
        const int needed = bar->fontMetrics().size(Qt::TextShowMnemonic, text).width();
        const int room = vertical ? textRect.height() : textRect.width();
        if (needed > room)
            report.add(bar, text, QStringLiteral("needs %1 px wide, its tab has %2").arg(needed).arg(room));
        else if (!shown.contains(option.rect))
            report.add(bar, text, QStringLiteral("is cut off at the edge of its tab bar"));
    }
}

void checkHeader(const QHeaderView* header, Report& report) {
    const QAbstractItemModel* model = header->model();
    if (!model)
        return;
    // Sections that run past the view's edge are only scrolled away if the view can scroll to them.
    if (const auto* view = qobject_cast<const QAbstractScrollArea*>(header->parentWidget())) {
        const bool horizontal = header->orientation() == Qt::Horizontal;
        const QScrollBar* bar = horizontal ? view->horizontalScrollBar() : view->verticalScrollBar();
        const int room = horizontal ? header->viewport()->width() : header->viewport()->height();
        if (header->length() > room && !bar->isVisible())
            report.add(header, QString(),
                       QStringLiteral("its sections are %1 px long, the view shows %2 and cannot scroll")
                           .arg(header->length())
                           .arg(room));
    }
    for (int section = 0; section < header->count(); ++section) {
        if (header->isSectionHidden(section))
            continue;
        const QString text = model->headerData(section, header->orientation(), Qt::DisplayRole).toString();
        if (text.isEmpty())
            continue;
        if (looksElided(text)) {
            report.add(header, text, QStringLiteral("is elided"));
            continue;
        }
        if (header->orientation() == Qt::Horizontal) {
            // The section's own measure of its text, margins and sort indicator.
            const int needed = header->sectionSizeHint(section);
            const int size = header->sectionSize(section);
            if (needed > size)
                report.add(header, text,
                           QStringLiteral("needs a %1 px section, has %2").arg(needed).arg(size));
        } else {
            const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
            const int needed = header->fontMetrics().horizontalAdvance(text) + 2 * margin;
            if (needed > header->width())
                report.add(
                    header, text,
                    QStringLiteral("needs %1 px wide, the header has %2").arg(needed).arg(header->width()));
        }
    }
}

} // namespace

TextFit::TextFit(QStringList skippedObjectNames)
    : m_skippedObjectNames(std::move(skippedObjectNames)) {}

bool TextFit::isSkipped(const QWidget* widget, const QWidget* root) const {
    for (const QWidget* at = widget; at; at = at->parentWidget()) {
        if (!at->objectName().isEmpty() && m_skippedObjectNames.contains(at->objectName()))
            return true;
        if (at == root)
            break;
    }
    return false;
}

QStringList TextFit::clippedTexts(const QWidget* root, const QString& windowName) const {
    Report report(windowName);
    QList<const QWidget*> widgets{root};
    for (const QWidget* child : root->findChildren<QWidget*>())
        widgets.append(child);
    for (const QWidget* widget : widgets) {
        // Another window (a dialog the root opened) is measured on its own.
        if (!widget->isVisible() || widget->window() != root->window() || isSkipped(widget, root))
            continue;
        if (const auto* label = qobject_cast<const QLabel*>(widget))
            checkLabel(label, report);
        else if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
            checkButton(button, report);
        else if (const auto* box = qobject_cast<const QGroupBox*>(widget))
            checkGroupBox(box, report);
        else if (const auto* bar = qobject_cast<const QTabBar*>(widget))
            checkTabBar(bar, report);
        else if (const auto* header = qobject_cast<const QHeaderView*>(widget))
            checkHeader(header, report);
    }
    return report.lines();
}

#include "chart/GraphContainerItemMenu.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QSpacerItem>
#include <QToolButton>

namespace {

const QString kVisibleIcon = QStringLiteral(":/icons/visible.png");
const QString kInvisibleIcon = QStringLiteral(":/icons/invisible.png");
const QString kCloseIcon = QStringLiteral(":/icons/close.png");

} // namespace

GraphContainerItemMenu::GraphContainerItemMenu(QWidget* parent)
    : QWidget(parent) {
    resize(294, 20);
    // Without "border: none" some styles (Fusion) still draw the button panel, from the transparent
    // colour, as a black box that hides the icon; the pointing-hand cursor is the hover cue.
    setStyleSheet(QStringLiteral("QToolButton { background-color: transparent; border: none; }"));

    auto* layout = new QHBoxLayout(this);
    layout->setSpacing(6);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));

    m_visibilityBtn = new QToolButton(this);
    m_visibilityBtn->setObjectName(QStringLiteral("visibilityBtn"));
    m_visibilityBtn->setCursor(Qt::PointingHandCursor);
    m_visibilityBtn->setIcon(QIcon(kVisibleIcon));
    layout->addWidget(m_visibilityBtn);

    m_closeBtn = new QToolButton(this);
    m_closeBtn->setObjectName(QStringLiteral("closeBtn"));
    m_closeBtn->setCursor(Qt::PointingHandCursor);
    m_closeBtn->setIcon(QIcon(kCloseIcon));
    layout->addWidget(m_closeBtn);

    connect(m_visibilityBtn, &QToolButton::clicked, this, &GraphContainerItemMenu::onVisibilityToggle);
    connect(m_closeBtn, &QToolButton::clicked, this, &GraphContainerItemMenu::closeClicked);
}

void GraphContainerItemMenu::onVisibilityToggle() {
    m_visible = !m_visible;
    m_visibilityBtn->setIcon(QIcon(m_visible ? kVisibleIcon : kInvisibleIcon));
    emit visibilityChanged(m_visible);
}

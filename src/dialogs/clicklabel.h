#pragma once

#include <QLabel>

namespace jw {

// A label that reports mouse presses and clicks, for the link lines.
class ClickLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

Q_SIGNALS:
    void pressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
};

// Blue, underlined, with a hand cursor.
void styleAsLink(QLabel *label);
void setLabelColor(QLabel *label, const QColor &color);

} // namespace jw

#include "mainwindow/inplaceeditor.h"

#include <QKeyEvent>

namespace jw {

InPlaceEditor::InPlaceEditor(QWidget *parent)
    : QLineEdit(parent)
{
    hide();
}

void InPlaceEditor::open(const QRect &cell, const QString &text)
{
    setGeometry(cell);
    setText(text);
    show();
    setFocus();
}

void InPlaceEditor::commit(bool byEnter)
{
    if (isHidden())
        return;
    // Hidden first: hiding moves the focus, which must not commit again.
    hide();
    Q_EMIT committed(text(), byEnter);
}

void InPlaceEditor::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    commit();
}

void InPlaceEditor::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        commit(true);
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace jw

#pragma once

#include <QLineEdit>

namespace jw {

// A one-line editor laid over a cell of a list. Leaving it always commits:
// Enter and losing the focus both end the edit; there is no cancel key.
class InPlaceEditor : public QLineEdit
{
    Q_OBJECT
public:
    explicit InPlaceEditor(QWidget *parent);

    // Shows the editor over `cell` with `text`, focused.
    void open(const QRect &cell, const QString &text);
    // Ends an open edit: hides the editor and reports its text once.
    void commit(bool byEnter = false);

Q_SIGNALS:
    void committed(const QString &text, bool byEnter);

protected:
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};

} // namespace jw

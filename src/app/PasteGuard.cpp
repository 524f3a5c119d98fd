#include "app/PasteGuard.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextEdit>

bool ClipboardHoldsText(QClipboard::Mode mode) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return false;
    if (mode == QClipboard::Selection && !clipboard->supportsSelection()) return false;
    // Asking for the text never goes through the text control's own reading
    // of the clipboard object.
    return !clipboard->text(mode).isEmpty();
}

namespace {

// The editable text control behind a widget (the box itself, or the
// viewport it draws its text in); null for anything else.
QWidget* EditableTextBox(QObject* o) {
    auto* w = qobject_cast<QWidget*>(o);
    for (int level = 0; w && level < 2; ++level, w = w->parentWidget()) {
        if (auto* p = qobject_cast<QPlainTextEdit*>(w)) return p->isReadOnly() ? nullptr : p;
        if (auto* t = qobject_cast<QTextEdit*>(w)) return t->isReadOnly() ? nullptr : t;
    }
    return nullptr;
}

}  // namespace

CPasteGuard::CPasteGuard(QObject* parent) : QObject(parent) {}

bool CPasteGuard::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->matches(QKeySequence::Paste) && EditableTextBox(watched) && !ClipboardHoldsText())
                return true;
            break;
        }
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::MiddleButton && EditableTextBox(watched) &&
                !ClipboardHoldsText(QClipboard::Selection))
                return true;
            break;
        }
        default: break;
    }
    return QObject::eventFilter(watched, event);
}

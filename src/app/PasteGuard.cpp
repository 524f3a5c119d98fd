#include "app/PasteGuard.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
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

bool IsLineBreak(QChar c) {
    return c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar::LineSeparator ||
           c == QChar::ParagraphSeparator;
}

bool HoldsLineBreak(const QString& text) { return std::any_of(text.begin(), text.end(), IsLineBreak); }

// The paste entry of a field's own context menu pastes by the rule too.
void TakeOverPasteEntry(QMenu* menu, QLineEdit* field) {
    for (QAction* a : menu->actions()) {
        const bool paste = a->objectName() == QLatin1String("edit-paste") ||
                           a->text().section(QLatin1Char('\t'), 0, 0) == QLineEdit::tr("&Paste");
        if (!paste || a->property("qvlOneLine").toBool()) continue;
        QObject::disconnect(a, &QAction::triggered, field, nullptr);
        QObject::connect(a, &QAction::triggered, field, [field] { PasteIntoField(field); });
        a->setProperty("qvlOneLine", true);
    }
}

}  // namespace

QLineEdit* OneLineField(QObject* o) {
    // A box of a class of its own (the status pane, the key editor's
    // keystroke box) takes its keys itself.
    auto* field = qobject_cast<QLineEdit*>(o);
    if (!field || field->metaObject() != &QLineEdit::staticMetaObject) return nullptr;
    if (field->isReadOnly() || field->echoMode() != QLineEdit::Normal) return nullptr;
    return field;
}

QString OneLineText(const QString& text) {
    // The line end of the last line (a path copied from a terminal has one)
    // joins no two lines: it goes, rather than stay as a blank at the end
    // that nobody sees.
    qsizetype end = text.size();
    if (end > 0 && IsLineBreak(text[end - 1]))
        end -= end > 1 && text[end - 2] == QLatin1Char('\r') && text[end - 1] == QLatin1Char('\n') ? 2 : 1;
    QString out;
    out.reserve(end);
    for (qsizetype i = 0; i < end; ++i) {
        if (text[i] == QLatin1Char('\r') && i + 1 < end && text[i + 1] == QLatin1Char('\n')) continue;
        out += IsLineBreak(text[i]) ? QChar(QLatin1Char(' ')) : text[i];
    }
    return out;
}

void PasteIntoField(QLineEdit* field, QClipboard::Mode mode) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!field || field->isReadOnly() || !clipboard) return;
    if (mode == QClipboard::Selection && !clipboard->supportsSelection()) return;
    const QString text = clipboard->text(mode);
    // As the field's own paste: an empty clipboard still takes the selection away.
    if (text.isEmpty() && !field->hasSelectedText()) return;
    field->insert(OneLineText(text));
}

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
        case QEvent::Show:
            if (auto* menu = qobject_cast<QMenu*>(watched))
                if (QLineEdit* field = OneLineField(menu->parentWidget())) TakeOverPasteEntry(menu, field);
            break;
        default: break;
    }
    if (QLineEdit* field = OneLineField(watched)) return OneLineInput(field, event);
    // An editable combo box takes the keys and the input method's text
    // itself and hands them straight to its line edit, past this filter.
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::InputMethod)
        if (auto* box = qobject_cast<QComboBox*>(watched); box && box->isEditable())
            if (QLineEdit* field = OneLineField(box->lineEdit())) return OneLineInput(field, event);
    return QObject::eventFilter(watched, event);
}

// Text the user brings into a one-line field: with a line break in it, it
// goes in by the rule; without, the field takes it as always.
bool CPasteGuard::OneLineInput(QLineEdit* field, QEvent* event) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    switch (event->type()) {
        case QEvent::KeyPress: {
            if (!static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste)) return false;
            if (!clipboard || !HoldsLineBreak(clipboard->text())) return false;
            PasteIntoField(field);
            return true;
        }
        case QEvent::MouseButtonRelease: {
            // The middle button pastes the mouse selection where it was pressed.
            if (static_cast<QMouseEvent*>(event)->button() != Qt::MiddleButton || !clipboard ||
                !clipboard->supportsSelection() || !HoldsLineBreak(clipboard->text(QClipboard::Selection)))
                return false;
            field->deselect();
            PasteIntoField(field, QClipboard::Selection);
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QMimeData* mime = drop->mimeData();
            if (!mime || !mime->hasText() || !HoldsLineBreak(mime->text())) return false;
            QMimeData oneLine;
            oneLine.setText(OneLineText(mime->text()));
            QDropEvent again(drop->position(), drop->possibleActions(), &oneLine, drop->buttons(),
                             drop->modifiers());
            again.setDropAction(drop->dropAction());
            QCoreApplication::sendEvent(field, &again);
            drop->setDropAction(again.dropAction());
            drop->setAccepted(again.isAccepted());
            return true;
        }
        case QEvent::InputMethod: {
            auto* im = static_cast<QInputMethodEvent*>(event);
            if (!HoldsLineBreak(im->commitString())) return false;
            QInputMethodEvent again(im->preeditString(), im->attributes());
            again.setCommitString(OneLineText(im->commitString()), im->replacementStart(), im->replacementLength());
            QCoreApplication::sendEvent(field, &again);
            im->setAccepted(again.isAccepted());
            return true;
        }
        default: return false;
    }
}

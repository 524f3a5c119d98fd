// Pasting only text, and one line of it into a one-line field.
//
// A text box asked to paste from a clipboard that holds no text (nothing
// copied yet on this desktop, or a picture) would hand the system's text
// control an empty clipboard object, which can bring the whole program down;
// such a paste does nothing instead.
//
// Every one-line field of the program (a plain line edit that shows its
// text, so a password box aside, and the text of an editable combo box)
// keeps one rule: a line break that comes in
// by the user's hand (a paste by key, menu or middle click, a dropped text,
// an input method's text) becomes a blank, a CR LF one blank, so the field
// holds the text it shows; the one that ends such a text is dropped. A text the program puts in itself (a path a
// chooser returned, a stored value) stays as it is. The multi-line text
// boxes keep their line breaks.
#pragma once

#include <QClipboard>
#include <QObject>

class QLineEdit;
class QWidget;

// Whether the clipboard (or the mouse selection) holds a text to paste.
bool ClipboardHoldsText(QClipboard::Mode mode = QClipboard::Clipboard);

// The field behind a widget when it is a one-line field the user may edit;
// null for anything else.
QLineEdit* OneLineField(QObject* o);
// The text with each line break (CR LF, CR, LF, a Unicode line or paragraph
// separator) turned into one blank; a line break that ends the text is
// dropped.
QString OneLineText(const QString& text);
// Pastes the clipboard (or the mouse selection) into a one-line field, its
// line breaks made blanks.
void PasteIntoField(QLineEdit* field, QClipboard::Mode mode = QClipboard::Clipboard);

// Watches every window of the program: a paste key (Ctrl+V, Shift+Insert)
// or a middle click into a text box while there is no text to paste is
// dropped before the box sees it, and whatever the user brings into a
// one-line field comes in as one line.
class CPasteGuard : public QObject {
public:
    explicit CPasteGuard(QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool OneLineInput(QLineEdit* field, QEvent* event);
};

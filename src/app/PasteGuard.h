// Pasting only text. A text box asked to paste from a clipboard that holds
// no text (nothing copied yet on this desktop, or a picture) would hand the
// system's text control an empty clipboard object, which can bring the
// whole program down; such a paste does nothing instead.
#pragma once

#include <QClipboard>
#include <QObject>

// Whether the clipboard (or the mouse selection) holds a text to paste.
bool ClipboardHoldsText(QClipboard::Mode mode = QClipboard::Clipboard);

// Watches every window of the program: a paste key (Ctrl+V, Shift+Insert)
// or a middle click into a text box while there is no text to paste is
// dropped before the box sees it.
class CPasteGuard : public QObject {
public:
    explicit CPasteGuard(QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

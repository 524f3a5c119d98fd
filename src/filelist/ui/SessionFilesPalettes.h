// The small palettes that stay on screen while file items wait on the item
// clipboard: "Copy Session Files" and "Cut Session Files". Each has a
// picture, "Paste" (the default button) and "Cancel"; the window that owns
// the clipboard says what the two buttons do.
#pragma once

#include <QDialog>
#include <functional>

class QLabel;
class QPushButton;

class CSessionFilesPalette : public QDialog {
    Q_OBJECT
public:
    std::function<void()> onPaste;
    std::function<void()> onCancel;

    QPushButton* PasteButton() const { return m_paste; }

public slots:
    // Enter pastes; Esc, Cancel and the close box end the pending action.
    void accept() override;
    void reject() override;

protected:
    CSessionFilesPalette(const char* id, const QString& title, const char* pictureId, bool cut,
                         QWidget* parent);

private:
    QPushButton* m_paste;  // 1395
};

class CCopySessionFilesDlg : public CSessionFilesPalette {
    Q_OBJECT
public:
    explicit CCopySessionFilesDlg(QWidget* parent = nullptr);
};

class CCutSessionFilesDlg : public CSessionFilesPalette {
    Q_OBJECT
public:
    explicit CCutSessionFilesDlg(QWidget* parent = nullptr);
};

// A picture of file pages for the palettes: copied (two pages), cut (a page
// with a dashed outline) or a host taken over (a page and a server).
QPixmap DrawPalettePicture(int kind, int width, int height);

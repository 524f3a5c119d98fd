// The commands on the file items of the current basket and on the text buffer, the file list's clicks, keys and header clicks, and the edit commands of the focused window.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "convert/TextBuffer.h"
#include "model/FileItem.h"

class CMainFrame;
class CProgramData;
class QDialog;

class CItemCommands : public QObject {
    Q_OBJECT
public:
    explicit CItemCommands(CMainFrame& frame);
    ~CItemCommands() override;
    CItemCommands(const CItemCommands&) = delete;
    CItemCommands& operator=(const CItemCommands&) = delete;

    // Gives the frame's commands their handlers.
    void Wire();

    // ---- the item clipboard
    enum ClipboardMode { Empty = 0, CutPending = 1, CopyPending = 2 };
    int ClipboardMode() const { return m_mode; }
    const std::vector<CFileItem>& ClipboardItems() const { return m_clipboard; }
    void CutFileItems();
    void CopyFileItems();
    // Pastes the clipboard into the current basket after its last selected
    // item; after a cut the cut records leave the basket they stand in now.
    void PasteFileItems();
    // The Cancel of the two palettes: ends the pending cut or copy.
    void CancelClipboard();
    // Shows (true) or hides the "Cut Session Files" (1) or "Copy Session
    // Files" (2) palette; installed by the palettes.
    static std::function<void(int palette, bool show)> s_showPalette;

    // ---- the file-item list
    void OnFileListClicked();
    void OnFileListDoubleClicked();
    // Sorts the selected items by a column (0 name, 1 host, 2 name length), asking first
    // when ask is set.
    void SortSelectedItems(int column, bool ask);
    void OpenSelectedFiles();
    // The last click position (project, session, basket).
    int LastClickProject() const { return m_lastProject; }
    int LastClickSession() const { return m_lastSession; }
    int LastClickBasket() const { return m_lastBasket; }
    // The status dialog of the last "Status" command (null when closed).
    QDialog* StatusDialog() const { return m_statusDlg; }

    // Set while the Make Same Host palette waits for the model item; a
    // click then goes to the pick step instead.
    static bool s_bMakeSameHostPick;
    static std::function<void()> s_makeSameHostPick;
    // The File Attributes dialog for the selection; true on OK. While it is
    // missing, items without a local folder cannot be opened.
    static std::function<bool()> s_editProperties;

    // How files are opened, programs started and files printed; tests record
    // them instead. Defaults: the editor or the desktop's program, a detached
    // process, and `lp` (done tells whether the print was taken).
    static std::function<void(const std::string& path)> s_openFile;
    static std::function<bool(const std::vector<std::string>& argv)> s_startProgram;
    static std::function<void(const std::string& path, std::function<void(bool)> done)> s_printFile;

    // ---- text windows
    // Cut (1), copy (0), paste (2) or undo (3) on the focused text box, or on
    // the active text window when no text box has the focus.
    void EditCommand(int which);
    // The folder chooser of "Load buffer items from disk".
    static std::function<std::vector<std::string>(std::vector<std::string>& folders)> s_chooseBufferFolders;

private:
    // A session is selected (else its refusal was shown) and the current
    // basket exists and is shown.
    bool ShowCurrentBasket();
    int P() const;
    int S() const;
    int B() const;
    std::vector<int> Selection() const;
    CProgramData& Data();
    void Refill();
    bool Guard(char letter);

    void RemoveItems();
    void MoveItems(int delta);
    void MirrorCopies();
    void ToggleMark(bool binary);
    void ClearLocalDirty();
    void ClearRemoteDirty();
    void ClearAllRemoteDirty();
    void ClearAllLocalDirty();
    void LogUpdated(int count);
    void ChangeCase(int mode);
    void ChangeCaseAsked();
    bool SetItemName(int f, const std::string& name);
    void ShowItemStatus();
    void ShowFileSpec();
    void OpenFolder();
    void PrintItems();
    void RepairLineBreaks();
    void SaveText();
    void SaveInputToBuffer();
    void ShowBufferStep(const TextBufferStep& step);
    void ClearAllTexts();
    void UpdateTextWindowCommands();

    CMainFrame& m_frame;
    int m_mode = Empty;
    std::vector<CFileItem> m_clipboard;
    std::vector<std::uint64_t> m_cutTags;
    int m_cutProject = -1, m_cutSession = -1, m_cutBasket = -1;
    int m_lastProject = -1, m_lastSession = -1, m_lastBasket = -1;
    QPointer<QDialog> m_statusDlg;
    QMetaObject::Connection m_focusConnection;
    int m_textWindowsObserver = 0;
};

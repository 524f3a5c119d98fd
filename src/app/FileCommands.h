// The file commands of the file-item list: new, duplicate, rename and delete files on disk, and renaming selected files to new names.
#pragma once

#include <QMetaObject>
#include <string>
#include <vector>

#include "model/FileItem.h"

class CMainFrame;
struct FileRow;

class CFileCommands {
public:
    explicit CFileCommands(CMainFrame& frame);
    ~CFileCommands();
    CFileCommands(const CFileCommands&) = delete;
    CFileCommands& operator=(const CFileCommands&) = delete;

    // Gives the frame's commands their handlers.
    void Wire();

    // "New file": one new empty local file and its item.
    void NewFile();
    // "Duplicate file": a copy of the first selected item's file under a new name.
    void DuplicateFile();
    // "New multiple files": one new empty file per line of the Output window.
    void NewFilesFromOutputWindow();
    // "Rename file": a new name for the first selected item's file.
    void RenameFile();
    // "Delete file": deletes the local files of the selected items.
    void DeleteSelectedLocalFiles();

    // The Rename/Duplicate dialog's two actions, one new name (or path) per
    // selected item in selection order.
    void RenameSelectedFiles(const std::vector<std::string>& names);
    void DuplicateFilesToNewNames(const std::vector<std::string>& names);
    // The selected items of the current basket, in selection order (what
    // the name makers take).
    std::vector<CFileItem> SelectedItems() const;

    // "New multiple files" is usable only while an Output window exists;
    // called at wiring and on every tick of the frame's timer.
    void RefreshCommandStates();

private:
    // True (after the refusal) while an FTP or add-files worker runs.
    bool RefuseWhileBusy();
    // Session check and current basket of the commands that add items.
    bool StartAddingItems();
    static FileRow RowOf(const CFileItem& item, bool selected);
    bool IsRowSelected(int row) const;
    // Shows the rows as the only selected ones and stores the selection.
    void SelectRows(const std::vector<int>& rows);
    static void ReportFileList(const std::string& title, const std::string& list);
    static void ReportDuplicateFiles(const std::string& list);

    CMainFrame& m_frame;
    QMetaObject::Connection m_tick;
};

// The "Accel Editor" dialog: the commands of a keyboard accelerator manager,
// the keystrokes of the selected one, a key-capturing edit, and Assign,
// Remove, Reset All and the registry wipe. It edits the manager it is
// given; the caller hands it a copy and takes the copy back on OK.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <cstdint>
#include <string>

#include "settings/AcceleratorManager.h"

class QLabel;
class QListWidget;
class QPushButton;

// The edit that shows a pressed keystroke instead of typing characters.
class CKeystrokeEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CKeystrokeEdit(QWidget* parent = nullptr);
    // False while no key other than Ctrl, Alt or Shift has been pressed.
    bool GetKeystroke(std::uint16_t& key, bool& ctrl, bool& alt, bool& shift) const;
    void Reset();
    const QString& Shown() const { return m_shown; }

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;

private:
    void Show();
    bool m_complete = false;
    std::uint16_t m_key = 0;
    bool m_ctrl = false, m_alt = false, m_shift = false;
    QString m_shown;
};

class CAccelEditorDlg : public QDialog {
    Q_OBJECT
public:
    // store may be null: then the registry wipe deletes nothing.
    CAccelEditorDlg(const std::string& keyPath, CAcceleratorManager* manager,
                    IRegistryStore* store, QWidget* parent = nullptr);

    QListWidget* Events() const { return m_events; }
    QListWidget* Assigned() const { return m_assigned; }
    CKeystrokeEdit* Capture() const { return m_capture; }
    QLabel* Description() const { return m_description; }
    // Selects the event row of a command name; false when it is not listed.
    bool SelectEvent(const QString& name);

    static const char* const kHint;

private:
    void Build();
    void FillEvents();
    void OnSelChangeEvents();
    void Assign();
    void Remove();
    void ResetAll();
    void ToggleRemoveFromRegistry(bool on);
    std::uint16_t SelectedId() const;

    std::string m_keyPath;
    CAcceleratorManager* m_manager;
    IRegistryStore* m_store;
    bool m_removeFromRegistry = false;
    QListWidget* m_events = nullptr;
    QListWidget* m_assigned = nullptr;
    CKeystrokeEdit* m_capture = nullptr;
    QLabel* m_description = nullptr;
    QPushButton* m_assign = nullptr;
    QPushButton* m_remove = nullptr;
    QPushButton* m_resetAll = nullptr;
    QPushButton* m_wipe = nullptr;
};

#include "settings/ui/AccelEditorDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "widgets/KeyMapping.h"
#include "platform/Prompter.h"

const char* const CAccelEditorDlg::kHint =
    "Enter keystroke in abobe edit field and hit \"Assign\" to map it to the selected event.";

namespace {
constexpr int kKeyRole = Qt::UserRole;
constexpr int kLockedRole = Qt::UserRole + 1;
}  // namespace

// ---------------------------------------------------------------- capture edit

CKeystrokeEdit::CKeystrokeEdit(QWidget* parent) : QLineEdit(parent) {}

bool CKeystrokeEdit::GetKeystroke(std::uint16_t& key, bool& ctrl, bool& alt, bool& shift) const {
    if (!m_complete) return false;
    key = m_key;
    ctrl = m_ctrl;
    alt = m_alt;
    shift = m_shift;
    return true;
}

void CKeystrokeEdit::Reset() {
    m_complete = false;
    m_key = 0;
    m_ctrl = m_alt = m_shift = false;
    m_shown.clear();
    clear();
}

bool CKeystrokeEdit::event(QEvent* e) {
    // Tab, Escape and the window's own shortcuts are keystrokes here too.
    if (e->type() == QEvent::ShortcutOverride) {
        e->accept();
        return true;
    }
    if (e->type() == QEvent::KeyPress) {
        keyPressEvent(static_cast<QKeyEvent*>(e));
        return true;
    }
    return QLineEdit::event(e);
}

void CKeystrokeEdit::keyPressEvent(QKeyEvent* e) {
    if (!e->isAutoRepeat() && m_complete) Reset();
    const int k = e->key();
    if (!m_complete) {
        if (k == Qt::Key_Shift) {
            m_shift = true;
        } else if (k == Qt::Key_Control) {
            m_ctrl = true;
        } else if (k == Qt::Key_Alt) {
            m_alt = true;
        } else {
            const Qt::KeyboardModifiers mods = e->modifiers();
            m_ctrl = mods & Qt::ControlModifier;
            m_alt = mods & Qt::AltModifier;
            m_shift = mods & Qt::ShiftModifier;
            m_key = QtKeyToVirtual(k);
            m_complete = true;
        }
    }
    Show();
    e->accept();
}

void CKeystrokeEdit::keyReleaseEvent(QKeyEvent* e) {
    if (!m_complete) {
        if (e->key() == Qt::Key_Shift) m_shift = false;
        if (e->key() == Qt::Key_Control) m_ctrl = false;
        if (e->key() == Qt::Key_Alt) m_alt = false;
    }
    Show();
    e->accept();
}

void CKeystrokeEdit::Show() {
    m_shown = QString::fromStdString(KeystrokeText(m_key, m_ctrl, m_alt, m_shift));
    setText(m_shown);
}

// ---------------------------------------------------------------- dialog

CAccelEditorDlg::CAccelEditorDlg(const std::string& keyPath, CAcceleratorManager* manager,
                                 IRegistryStore* store, QWidget* parent)
    : QDialog(parent), m_keyPath(keyPath), m_manager(manager), m_store(store) {
    setWindowTitle("Accel Editor");
    setObjectName("2031");
    Build();
    if (!m_manager || m_manager->Commands().empty()) {
        m_assign->setEnabled(false);
        m_remove->setEnabled(false);
        m_resetAll->setEnabled(false);
        m_capture->setEnabled(false);
    } else {
        FillEvents();
    }
    if (m_manager && !m_manager->DefaultSaved()) m_resetAll->setEnabled(false);
    m_description->setText(kHint);
}

void CAccelEditorDlg::Build() {
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel("Events:", this), 0, 0);
    m_events = new QListWidget(this);
    m_events->setObjectName("1537");
    m_events->setSortingEnabled(true);
    m_events->setMinimumSize(300, 320);
    grid->addWidget(m_events, 1, 0, 6, 1);

    grid->addWidget(new QLabel("Assigned Keystrokes:", this), 0, 1);
    m_assigned = new QListWidget(this);
    m_assigned->setObjectName("1543");
    m_assigned->setSortingEnabled(true);
    m_assigned->setMinimumWidth(200);
    m_assigned->setMaximumHeight(120);
    grid->addWidget(m_assigned, 1, 1);
    m_remove = new QPushButton("Remove", this);
    m_remove->setObjectName("1845");
    grid->addWidget(m_remove, 1, 2, Qt::AlignTop);

    grid->addWidget(new QLabel("Select new key stroke:", this), 2, 1);
    m_capture = new CKeystrokeEdit(this);
    m_capture->setObjectName("1595");
    grid->addWidget(m_capture, 3, 1);
    m_assign = new QPushButton("Assign", this);
    m_assign->setObjectName("1328");
    grid->addWidget(m_assign, 3, 2);

    m_description = new QLabel("Static", this);
    m_description->setObjectName("1323");
    m_description->setWordWrap(true);
    m_description->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_description->setFrameShape(QFrame::StyledPanel);
    m_description->setMinimumSize(260, 110);
    grid->addWidget(m_description, 4, 1, 1, 2);

    auto* row = new QHBoxLayout;
    m_resetAll = new QPushButton("Reset All", this);
    m_resetAll->setObjectName("1848");
    m_wipe = new QPushButton("Remove from Registry", this);
    m_wipe->setObjectName("1506");
    m_wipe->setCheckable(true);
    row->addWidget(m_resetAll);
    row->addWidget(m_wipe);
    grid->addLayout(row, 5, 1, 1, 2);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("1");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("2");
    buttons->button(QDialogButtonBox::Ok)->setAutoDefault(false);
    buttons->button(QDialogButtonBox::Cancel)->setAutoDefault(false);
    grid->addWidget(buttons, 6, 1, 1, 2, Qt::AlignBottom);
    grid->setRowStretch(6, 1);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_events, &QListWidget::currentRowChanged, this, [this] {
        OnSelChangeEvents();
        m_description->setText(kHint);
    });
    connect(m_assign, &QPushButton::clicked, this, [this] { Assign(); });
    connect(m_remove, &QPushButton::clicked, this, [this] { Remove(); });
    connect(m_resetAll, &QPushButton::clicked, this, [this] { ResetAll(); });
    connect(m_wipe, &QPushButton::toggled, this, [this](bool on) { ToggleRemoveFromRegistry(on); });
}

std::uint16_t CAccelEditorDlg::SelectedId() const {
    QListWidgetItem* item = m_events->currentItem();
    return item ? std::uint16_t(item->data(kKeyRole).toUInt()) : 0;
}

bool CAccelEditorDlg::SelectEvent(const QString& name) {
    const auto found = m_events->findItems(name, Qt::MatchExactly);
    if (found.isEmpty()) return false;
    m_events->setCurrentItem(found.first());
    return true;
}

void CAccelEditorDlg::FillEvents() {
    QSignalBlocker block(m_events);
    m_events->clear();
    m_description->clear();
    for (const auto& [id, cmd] : m_manager->Commands()) {
        auto* item = new QListWidgetItem(QString::fromStdString(cmd.name));
        item->setData(kKeyRole, id);
        m_events->addItem(item);
    }
    if (m_events->count() > 0) m_events->setCurrentRow(0);
    OnSelChangeEvents();
}

void CAccelEditorDlg::OnSelChangeEvents() {
    const std::uint16_t id = SelectedId();
    if (!id) return;
    m_assigned->clear();
    if (CAccelCommandOb* cmd = m_manager->FindCommand(id)) {
        for (const auto& k : cmd->keys) {
            auto* row = new QListWidgetItem(QString::fromStdString(k.GetString()));
            row->setData(kKeyRole, k.Pack());
            row->setData(kLockedRole, k.locked);
            if (k.locked) row->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
            m_assigned->addItem(row);
        }
    }
    m_capture->Reset();
}

void CAccelEditorDlg::Assign() {
    std::uint16_t key = 0;
    bool ctrl = false, alt = false, shift = false;
    if (!m_capture->GetKeystroke(key, ctrl, alt, shift)) return;
    const std::uint16_t id = SelectedId();
    std::uint16_t holder = 0;
    const auto result = m_manager->AssignKeystroke(id, key, ctrl, alt, shift, &holder);
    if (result == CAcceleratorManager::AssignResult::Duplicate) {
        const CAccelCommandOb* other = m_manager->FindCommand(holder);
        m_description->setText(QString::fromStdString(
            AlreadyMappedText(m_capture->Shown().toStdString(), other ? other->name : "")));
        m_capture->selectAll();
        m_capture->setCursorPosition(m_capture->text().size());
        m_capture->selectAll();
        return;
    }
    if (result == CAcceleratorManager::AssignResult::UnnamedKey) {
        m_description->setText("This key cannot be mapped. Choose another keystroke.");
        m_capture->Reset();
        return;
    }
    if (result != CAcceleratorManager::AssignResult::Assigned) return;
    const CAccelsOb& added = m_manager->FindCommand(id)->keys.back();
    auto* row = new QListWidgetItem(QString::fromStdString(added.GetString()));
    row->setData(kKeyRole, added.Pack());
    row->setData(kLockedRole, false);
    m_assigned->addItem(row);
    m_capture->Reset();
}

void CAccelEditorDlg::Remove() {
    QListWidgetItem* row = m_assigned->currentItem();
    if (!row) return;
    const std::uint16_t id = SelectedId();
    if (!id) return;
    const CAccelsOb k = CAccelsOb::Unpack(row->data(kKeyRole).toUInt());
    switch (m_manager->RemoveKeystroke(id, k)) {
        case CAcceleratorManager::RemoveResult::NoCommand:
            Prompter().Message("internal error (CAccelDlgHelper::Remove : Lookup failed)", MsgIcon::Stop);
            return;
        case CAcceleratorManager::RemoveResult::NotFound:
            Prompter().Message("internal error (CAccelDlgHelper::Remove : pAccel unavailable)",
                               MsgIcon::Stop);
            return;
        case CAcceleratorManager::RemoveResult::Locked:
            Prompter().Message("Unable to remove this\naccelerator (Locked)", MsgIcon::Stop);
            return;
        case CAcceleratorManager::RemoveResult::Removed:
            break;
    }
    delete row;
    m_capture->Reset();
    m_description->clear();
}

void CAccelEditorDlg::ResetAll() {
    if (!m_removeFromRegistry) {
        m_manager->RestoreDefaultTable();
        FillEvents();
        return;
    }
    if (m_store) WipeSavedAccelerators(*m_store, m_keyPath);
    Prompter().Message("All reset successfull (with brute force).\r\n\r\nPlease restart Quorvellian.",
                       MsgIcon::Info);
}

void CAccelEditorDlg::ToggleRemoveFromRegistry(bool on) {
    m_removeFromRegistry = on;
    if (on)
        Prompter().Message(
            "Use this option, only if the key mappings are fouled up due to new release.\r\n\r\n"
            "If you click on \"Reset All\" now, you should restart the application.",
            MsgIcon::Info);
}

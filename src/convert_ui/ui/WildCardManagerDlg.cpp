#include "convert_ui/ui/WildCardManagerDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "compare/TextAccess.h"
#include "widgets/LineTextBox.h"
#include "widgets/SharedDialogs.h"
#include "widgets/TextWindows.h"
#include "widgets/TextRichEdit.h"
#include "convert_ui/LibraryEditing.h"
#include "convert_ui/WorkPadRun.h"
#include "convert_ui/ui/LibraryButtons.h"
#include "model/ProgramData.h"
#include "platform/Prompter.h"

namespace {
QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
std::string S(const QString& s) {
    const QByteArray b = s.toUtf8();
    return std::string(b.constData(), std::size_t(b.size()));
}
std::string BoxText(const QPlainTextEdit* box) { return S(box->toPlainText()); }
// A set box holds whites as backslash sequences, but a line break put in as
// it stands (Load) is a CR LF of the set.
std::string SetBoxText(const QPlainTextEdit* box) {
    std::string out;
    for (char c : BoxText(box)) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}
}  // namespace

CWildCardManagerDlg::CWildCardManagerDlg(CProgramData* data, QWidget* parent) : QDialog(parent), m_data(data) {
    m_data->m_LibraryList.SelectCurrentLibrary();
    setWindowTitle("Wild-Card Manager");

    m_symbol = new QLineEdit(this);
    m_symbol->setObjectName("1694");
    m_symbol->setMaxLength(1);
    m_symbol->setFixedWidth(34);
    m_name = new QLineEdit(this);
    m_name->setObjectName("1965");
    m_name->setMaxLength(2);
    m_name->setFixedWidth(34);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSize(9);
    m_primary = new QPlainTextEdit(this);
    m_primary->setObjectName("1962");
    m_primary->setFont(mono);
    m_aux = new QLineEdit(this);
    m_aux->setObjectName("1963");
    m_aux->setFont(mono);
    m_comment = new QLineEdit(this);
    m_comment->setObjectName("1964");
    m_skip = new QCheckBox("Skip this item (for performance).", this);
    m_skip->setObjectName("1961");

    m_list = MakeItemList(this, "1743", {"Type", "Set", "Aux"}, 50, 90, 230);
    const ListEditButtons edit = MakeListEditButtons(this);

    auto* group = new QGroupBox("Type-card Attributes:", this);
    auto* g = new QVBoxLayout(group);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(new QLabel("Use", this));
    nameRow->addWidget(m_name);
    nameRow->addWidget(new QLabel("to denote type-card for:", this));
    nameRow->addStretch(1);
    g->addLayout(nameRow);
    g->addWidget(new QLabel("One or more of the following:", this));
    g->addWidget(m_primary, 1);
    g->addWidget(new QLabel("Accepting any of the following on the way:", this));
    g->addWidget(m_aux);
    auto* right = new QVBoxLayout;
    right->addWidget(group, 1);
    right->addWidget(new QLabel("Use this type-card to:", this));
    right->addWidget(m_comment);

    auto* load = new QPushButton("Load", this);
    load->setObjectName("1959");
    load->setAutoDefault(false);
    auto* restore = new QPushButton("Restore Default", this);
    restore->setObjectName("1960");
    restore->setAutoDefault(false);

    auto* symbolRow = new QHBoxLayout;
    symbolRow->addWidget(new QLabel("Use", this));
    symbolRow->addWidget(m_symbol);
    symbolRow->addWidget(new QLabel("to denote wild-card for \"anything\".", this));
    symbolRow->addStretch(1);

    auto* middle = new QHBoxLayout;
    middle->addWidget(m_list, 1);
    middle->addLayout(edit.column);
    middle->addLayout(right, 1);

    auto* loadRow = new QHBoxLayout;
    loadRow->addWidget(m_skip);
    loadRow->addStretch(1);
    loadRow->addWidget(new QLabel("Get text-selection from Input window:", this));
    loadRow->addWidget(load);

    auto* comments = new QGroupBox(this);
    auto* cg = new QHBoxLayout(comments);
    auto* help = new QLabel(
        "(1) Type \\b (blank), \\t (tab), \\r (return) and \\n (line-break) to enter whites.\n"
        "(2) You can customize character set of a type-card to serve your need.\n"
        "(3) Also see Quick Convert Help (Ctrl+F1).",
        this);
    help->setObjectName("1887");
    cg->addWidget(new QLabel("Comments:\n-->", this));
    cg->addWidget(help, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("1");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("2");
    connect(buttons, &QDialogButtonBox::accepted, this, &CWildCardManagerDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CWildCardManagerDlg::reject);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(restore);
    bottom->addStretch(1);
    bottom->addWidget(buttons);

    auto* lay = new QVBoxLayout(this);
    lay->addLayout(symbolRow);
    lay->addLayout(middle, 1);
    lay->addLayout(loadRow);
    lay->addWidget(comments);
    lay->addLayout(bottom);
    resize(640, 480);

    connect(edit.up, &QPushButton::clicked, this, [this] { OnMove(-1); });
    connect(edit.down, &QPushButton::clicked, this, [this] { OnMove(1); });
    connect(edit.add, &QPushButton::clicked, this, [this] { OnAdd(); });
    connect(edit.modify, &QPushButton::clicked, this, [this] { ModifySelectedItem(); });
    connect(edit.del, &QPushButton::clicked, this, [this] { OnDelete(); });
    connect(load, &QPushButton::clicked, this, [this] { OnLoad(); });
    connect(restore, &QPushButton::clicked, this, [this] { OnRestoreDefault(); });
    connect(m_skip, &QCheckBox::clicked, this, [this] { OnSkipItem(); });
    connect(m_list, &QTreeWidget::itemClicked, this, [this] {
        const auto rows = SelectedRows();
        if (!rows.empty()) ShowTypeCard(rows[0]);
    });
    RefreshTypeCards();
}

CWildTypeManager& CWildCardManagerDlg::Store() {
    return CurrentLibraryWithFallback(m_data->m_LibraryList).WildTypeManager;
}

std::vector<int> CWildCardManagerDlg::SelectedRows() const {
    std::vector<int> rows;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        if (m_list->topLevelItem(i)->isSelected()) rows.push_back(i);
    return rows;
}

void CWildCardManagerDlg::SetRow(int r) {
    const CTypeCard& c = Store().TypeCards[r];
    QTreeWidgetItem* it = m_list->topLevelItem(r);
    it->setText(0, Q(c.Name));
    it->setText(1, Q(EscapeWhites(c.PrimaryCharSet)));
    it->setText(2, Q(EscapeWhites(c.AuxCharSet)));
    it->setData(0, Qt::UserRole, c.IsSkipped ? 2 : 3);
    it->setIcon(0, style()->standardIcon(c.IsSkipped ? QStyle::SP_DialogCancelButton : QStyle::SP_DialogApplyButton));
}

void CWildCardManagerDlg::RefreshTypeCards() {
    m_list->clear();
    CWildTypeManager& store = Store();
    m_symbol->setText(Q(store.WildCard));
    for (std::size_t r = 0; r < store.TypeCards.size(); ++r) {
        m_list->addTopLevelItem(new QTreeWidgetItem);
        SetRow(int(r));
    }
    if (!store.TypeCards.empty()) {
        m_list->topLevelItem(0)->setSelected(true);
        ShowTypeCard(0);
    }
}

void CWildCardManagerDlg::ShowTypeCard(int r) {
    CWildTypeManager& store = Store();
    if (r < 0 || r >= int(store.TypeCards.size())) return;
    const CTypeCard& c = store.TypeCards[r];
    m_name->setText(Q(c.Name));
    m_primary->setPlainText(Q(EscapeWhites(c.PrimaryCharSet)));
    m_aux->setText(Q(EscapeWhites(c.AuxCharSet)));
    m_comment->setText(Q(c.TypeComment));
    m_skip->setChecked(c.IsSkipped);
}

bool CWildCardManagerDlg::ShowRefusal(const std::string& message, int focus) {
    if (message.empty()) return false;
    Prompter().Message(message, MsgIcon::Warning);
    if (focus == int(CardField::Name)) m_name->setFocus();
    if (focus == int(CardField::Primary)) m_primary->setFocus();
    return true;
}

void CWildCardManagerDlg::OnAdd() {
    const std::string name = S(m_name->text());
    std::string primary = UnescapeWhites(SetBoxText(m_primary));
    std::string aux = UnescapeWhites(S(m_aux->text()));
    const CardCheck c = CheckTypeCard(Store(), name, primary, -1);
    if (ShowRefusal(c.message, int(c.focus))) return;
    Store().AddTypeCard(name, primary, aux, S(m_comment->text()));
    m_primary->setPlainText(Q(EscapeWhites(primary)));
    m_aux->setText(Q(EscapeWhites(aux)));
    const auto sel = SelectedRows();
    if (!sel.empty()) m_list->topLevelItem(sel[0])->setSelected(false);
    m_list->addTopLevelItem(new QTreeWidgetItem);
    const int r = m_list->topLevelItemCount() - 1;
    SetRow(r);
    m_list->topLevelItem(r)->setSelected(true);
    m_list->scrollToItem(m_list->topLevelItem(r));
}

bool CWildCardManagerDlg::ModifySelectedItem() {
    const auto sel = SelectedRows();
    if (sel.empty()) return false;
    const int r = sel[0];
    const std::string name = S(m_name->text());
    std::string primary = UnescapeWhites(SetBoxText(m_primary));
    std::string aux = UnescapeWhites(S(m_aux->text()));
    const CardCheck c = CheckTypeCard(Store(), name, primary, r);
    if (ShowRefusal(c.message, int(c.focus))) return false;
    ModifyTypeCard(Store(), r, name, primary, aux, S(m_comment->text()));
    m_primary->setPlainText(Q(EscapeWhites(primary)));
    m_aux->setText(Q(EscapeWhites(aux)));
    SetRow(r);
    return true;
}

void CWildCardManagerDlg::OnDelete() {
    const auto sel = SelectedRows();
    if (sel.empty()) return;
    const int next = DeleteTypeCards(Store(), sel);
    for (auto it = sel.rbegin(); it != sel.rend(); ++it) delete m_list->takeTopLevelItem(*it);
    m_list->clearSelection();
    if (next >= 0) {
        m_list->topLevelItem(next)->setSelected(true);
        ShowTypeCard(next);
    }
}

void CWildCardManagerDlg::OnMove(int step) {
    const auto sel = SelectedRows();
    if (sel.empty()) return;
    const int r = sel[0], o = r + step;
    if (o < 0 || o >= m_list->topLevelItemCount()) return;
    SwapTypeCards(Store(), r, o);
    SetRow(r);
    SetRow(o);
    m_list->topLevelItem(r)->setSelected(false);
    m_list->topLevelItem(o)->setSelected(true);
}

void CWildCardManagerDlg::OnSkipItem() {
    const auto sel = SelectedRows();
    ToggleSkipped(Store(), sel);
    for (int r : sel) SetRow(r);
}

void CWildCardManagerDlg::OnLoad() {
    std::string selected;
    if (g_pInputWindow) {
        const std::string text = GetInputWindowText();
        const std::size_t s = OffsetOfBoxPosition(text, g_pInputWindow->SelectionStart());
        const std::size_t e = OffsetOfBoxPosition(text, g_pInputWindow->SelectionEnd());
        if (s < e && e <= text.size()) selected = text.substr(s, e - s);
    }
    if (selected.empty()) {
        Prompter().Message("No selection found in Input window.\r\nSelect some text on Input window first.",
                           MsgIcon::None);
        return;
    }
    const int start = m_primary->document()->characterCount() - 1;
    m_primary->moveCursor(QTextCursor::End);
    m_primary->insertPlainText(Q(selected));
    QTextCursor c = m_primary->textCursor();
    c.setPosition(start);
    c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    m_primary->setTextCursor(c);
    m_primary->setFocus();
}

void CWildCardManagerDlg::OnRestoreDefault() {
    Store().SetDefaultTypeCards();
    RefreshTypeCards();
}

void CWildCardManagerDlg::keyPressEvent(QKeyEvent* e) {
    if (m_list->hasFocus() && e->key() == Qt::Key_Delete) {
        OnDelete();
        return;
    }
    QDialog::keyPressEvent(e);
}

void CWildCardManagerDlg::accept() {
    const std::string symbol = S(m_symbol->text());
    if (symbol.empty()) {
        Prompter().Message("Wildcard cannot be empty.", MsgIcon::Warning);
        m_symbol->setFocus();
        return;
    }
    Store().WildCard = symbol;
    if (ModifySelectedItem()) QDialog::accept();
}

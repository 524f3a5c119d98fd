#include "convert_ui/ui/DelimiterListDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "convert_ui/LibraryEditing.h"
#include "convert_ui/ui/LibraryButtons.h"
#include "platform/Prompter.h"

namespace {
QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
std::string S(const QString& s) {
    const QByteArray b = s.toUtf8();
    return std::string(b.constData(), std::size_t(b.size()));
}
}  // namespace

CDelimiterListDlg::CDelimiterListDlg(const std::vector<CMacroTokenDelim>& delims, QWidget* parent)
    : QDialog(parent), m_delims(delims) {
    setWindowTitle("Delimiter List");
    m_list = MakeItemList(this, "1741", {"Begin", "Type", "End"}, 90, 70, 240);
    const ListEditButtons edit = MakeListEditButtons(this);

    m_radioSingle = new QRadioButton("Single delimiter:", this);
    m_radioSingle->setObjectName("1818");
    m_radioPair = new QRadioButton("Pair delimiter:", this);
    m_radioPair->setObjectName("1817");
    m_singleGroup = new QGroupBox(this);
    m_singleGroup->setObjectName("1866");
    m_single = new QLineEdit(this);
    m_single->setObjectName("1611");
    auto* sf = new QFormLayout(m_singleGroup);
    auto* l1870 = new QLabel("Delimiter:", this);
    l1870->setObjectName("1870");
    sf->addRow(l1870, m_single);
    m_pairGroup = new QGroupBox(this);
    m_pairGroup->setObjectName("1871");
    m_begin = new QLineEdit(this);
    m_begin->setObjectName("1609");
    m_end = new QLineEdit(this);
    m_end->setObjectName("1610");
    auto* pf = new QFormLayout(m_pairGroup);
    auto* l1872 = new QLabel("Begin delim:", this);
    l1872->setObjectName("1872");
    auto* l1873 = new QLabel("End delim:", this);
    l1873->setObjectName("1873");
    pf->addRow(l1872, m_begin);
    pf->addRow(l1873, m_end);
    auto* side = new QVBoxLayout;
    side->addWidget(m_radioSingle);
    side->addWidget(m_singleGroup);
    side->addWidget(m_radioPair);
    side->addWidget(m_pairGroup);
    side->addStretch(1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("1");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("2");
    connect(buttons, &QDialogButtonBox::accepted, this, &CDelimiterListDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDelimiterListDlg::reject);
    // Enter in an edit adds nothing by accident.
    for (QPushButton* b : buttons->findChildren<QPushButton*>()) b->setAutoDefault(false);

    auto* row = new QHBoxLayout;
    row->addWidget(m_list, 1);
    row->addLayout(edit.column);
    row->addLayout(side);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(row, 1);
    lay->addWidget(buttons);
    resize(520, 330);

    connect(m_radioSingle, &QRadioButton::clicked, this, [this] { SetMode(true); });
    connect(m_radioPair, &QRadioButton::clicked, this, [this] { SetMode(false); });
    connect(m_list, &QTreeWidget::itemClicked, this, [this] { OnClickList(); });
    connect(edit.up, &QPushButton::clicked, this, [this] { OnMove(-1); });
    connect(edit.down, &QPushButton::clicked, this, [this] { OnMove(1); });
    connect(edit.add, &QPushButton::clicked, this, [this] { OnAdd(); });
    connect(edit.modify, &QPushButton::clicked, this, [this] { OnModify(); });
    connect(edit.del, &QPushButton::clicked, this, [this] { OnDelete(); });

    FillRows();
    if (!m_delims.empty()) {
        SetMode(m_delims[0].IsSingle != 0);
        SelectOnly(0);
    }
}

void CDelimiterListDlg::SetRowTexts(int row, const CMacroTokenDelim& d) {
    QTreeWidgetItem* it = m_list->topLevelItem(row);
    it->setText(0, Q(EscapeWhites(d.BeginDelim)));
    it->setText(1, d.IsSingle ? "Single" : "Pair");
    it->setText(2, d.IsSingle ? QString() : Q(EscapeWhites(d.EndDelim)));
}

void CDelimiterListDlg::FillRows() {
    m_list->clear();
    for (std::size_t i = 0; i < m_delims.size(); ++i) {
        m_list->addTopLevelItem(new QTreeWidgetItem);
        SetRowTexts(int(i), m_delims[i]);
    }
}

std::vector<int> CDelimiterListDlg::SelectedRows() const {
    std::vector<int> rows;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        if (m_list->topLevelItem(i)->isSelected()) rows.push_back(i);
    return rows;
}

void CDelimiterListDlg::SelectOnly(int row, bool keep) {
    if (!keep) m_list->clearSelection();
    if (row < 0 || row >= m_list->topLevelItemCount()) return;
    m_list->topLevelItem(row)->setSelected(true);
    m_list->scrollToItem(m_list->topLevelItem(row));
}

void CDelimiterListDlg::SetMode(bool single) {
    m_bSingleMode = single;
    m_singleGroup->setEnabled(single);
    m_pairGroup->setEnabled(!single);
    if (single) {
        m_begin->clear();
        m_end->clear();
    } else {
        m_single->clear();
    }
    m_radioSingle->setChecked(single);
    m_radioPair->setChecked(!single);
}

void CDelimiterListDlg::OnClickList() {
    const std::vector<int> rows = SelectedRows();
    QTreeWidgetItem* cur = m_list->currentItem();
    const int row = cur ? m_list->indexOfTopLevelItem(cur) : (rows.empty() ? -1 : rows[0]);
    if (row < 0 || row >= int(m_delims.size())) return;
    const CMacroTokenDelim& d = m_delims[row];
    SetMode(d.IsSingle != 0);
    if (d.IsSingle) {
        m_single->setText(Q(d.BeginDelim));
    } else {
        m_begin->setText(Q(d.BeginDelim));
        m_end->setText(Q(d.EndDelim));
    }
}

bool CDelimiterListDlg::Check(int skipRow) {
    const DelimCheck c = CheckDelimiter(m_delims, m_bSingleMode, S(m_single->text()), S(m_begin->text()),
                                        S(m_end->text()), skipRow);
    if (c.message.empty()) return true;
    Prompter().Message(c.message, MsgIcon::Warning);
    if (c.focus == DelimField::Single) m_single->setFocus();
    if (c.focus == DelimField::Begin) m_begin->setFocus();
    if (c.focus == DelimField::End) m_end->setFocus();
    return false;
}

void CDelimiterListDlg::OnAdd() {
    const std::vector<int> sel = SelectedRows();
    const int pos = sel.empty() ? int(m_delims.size()) : sel[0] + 1;
    if (!Check(-1)) return;
    const CMacroTokenDelim d = MakeDelimiter(m_bSingleMode, S(m_single->text()), S(m_begin->text()), S(m_end->text()));
    m_delims.insert(m_delims.begin() + pos, d);
    m_list->insertTopLevelItem(pos, new QTreeWidgetItem);
    SetRowTexts(pos, d);
    SelectOnly(pos, true);
}

void CDelimiterListDlg::OnModify() {
    const std::vector<int> sel = SelectedRows();
    if (sel.empty()) return;
    const int r = sel[0];
    if (!Check(r)) return;
    m_delims[r] = MakeDelimiter(m_bSingleMode, S(m_single->text()), S(m_begin->text()), S(m_end->text()));
    SetRowTexts(r, m_delims[r]);
    SelectOnly(r, true);
}

void CDelimiterListDlg::OnDelete() {
    const std::vector<int> sel = SelectedRows();
    if (sel.empty()) return;
    const int next = DeleteDelimiters(m_delims, sel);
    FillRows();
    SelectOnly(next);
}

void CDelimiterListDlg::OnMove(int step) {
    const std::vector<int> sel = SelectedRows();
    if (sel.empty()) return;
    const int r = sel[0], o = r + step;
    if (o < 0 || o >= int(m_delims.size())) return;
    std::swap(m_delims[r], m_delims[o]);
    SetRowTexts(r, m_delims[r]);
    SetRowTexts(o, m_delims[o]);
    m_list->topLevelItem(r)->setSelected(false);
    m_list->topLevelItem(o)->setSelected(true);
}

void CDelimiterListDlg::keyPressEvent(QKeyEvent* e) {
    if (m_list->hasFocus() && e->key() == Qt::Key_Delete) {
        OnDelete();
        return;
    }
    if (m_list->hasFocus() && e->matches(QKeySequence::SelectAll)) {
        m_list->selectAll();
        return;
    }
    QDialog::keyPressEvent(e);
}

void CDelimiterListDlg::accept() {
    // The rows already hold what their texts read back as.
    QDialog::accept();
}

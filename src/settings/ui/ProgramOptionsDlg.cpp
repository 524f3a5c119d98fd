#include "settings/ui/ProgramOptionsDlg.h"

#include <algorithm>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "widgets/SharedDialogs.h"
#include "model/Globals.h"
#include "platform/Prompter.h"

std::function<void(QWidget*)> CProgramOptionsDlg::s_mapKeystrokes;
std::function<int(QDialog&)> CProgramOptionsDlg::s_runModal;

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }
// The extension lists are one line: line breaks typed into them become blanks.
std::string OneLine(const QString& s) {
    std::string t = s.toStdString();
    std::replace(t.begin(), t.end(), '\n', ' ');
    std::replace(t.begin(), t.end(), '\r', ' ');
    return t;
}
}  // namespace

CProgramOptionsDlg::CProgramOptionsDlg(QWidget* parent) : QDialog(parent) {
    m_draft = OptionsDraft::FromOptions();
    setWindowTitle("Program Options");
    setObjectName("2030");
    Build();
    SelectCode(NormalisedPageCode(m_draft.optionSel));
}

QWidget* CProgramOptionsDlg::Control(int id) const {
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

void CProgramOptionsDlg::Build() {
    auto* outer = new QVBoxLayout(this);
    auto* body = new QHBoxLayout;
    outer->addLayout(body);

    m_tree = new QTreeWidget(this);
    m_tree->setObjectName("1571");
    m_tree->setHeaderHidden(true);
    m_tree->setMinimumWidth(190);
    for (const auto& p : OptionPages()) {
        QTreeWidgetItem* item = p.parentCode < 0 ? new QTreeWidgetItem(m_tree)
                                                 : new QTreeWidgetItem(m_items.at(p.parentCode));
        item->setText(0, p.title);
        item->setData(0, Qt::UserRole, p.code);
        m_items[p.code] = item;
    }
    m_tree->expandAll();
    // The whole tree shows without scrolling.
    m_tree->setMinimumHeight(m_tree->sizeHintForRow(0) * int(OptionPages().size() + 1) +
                             2 * m_tree->frameWidth());
    body->addWidget(m_tree);

    auto* right = new QVBoxLayout;
    body->addLayout(right, 1);
    auto reg = [this](QWidget* w, int id) {
        w->setObjectName(QString::number(id));
        m_controls[id] = w;
        return w;
    };
    auto check = [&](int id, const char* text, bool on, bool* target) {
        auto* c = new QCheckBox(text, this);
        c->setChecked(on);
        reg(c, id);
        right->addWidget(c);
        connect(c, &QCheckBox::toggled, this, [target](bool v) { *target = v; });
        return c;
    };
    auto label = [&](int id, const char* text) {
        auto* l = new QLabel(text, this);
        reg(l, id);
        return l;
    };

    // General
    check(1512, "Enable audible alert.", m_draft.sound, &m_draft.sound);
    auto* map = new QPushButton("Map Keystrokes", this);
    reg(map, 1392);
    right->addWidget(map);
    connect(map, &QPushButton::clicked, this, [this] {
        if (s_mapKeystrokes) s_mapKeystrokes(this);
    });
    check(1523, "Enable trace information.", m_draft.trace, &m_draft.trace);

    // Text Conversion
    m_interactive = new QRadioButton("Interactive Text Conversion (work on a block of text)", this);
    m_batch = new QRadioButton("Batch Text Conversion (work on a set of files)", this);
    reg(m_interactive, 1815);
    reg(m_batch, 1814);
    (m_draft.workMode == 0 ? m_interactive : m_batch)->setChecked(true);
    right->addWidget(m_interactive);
    right->addWidget(m_batch);
    connect(m_interactive, &QRadioButton::toggled, this, [this](bool on) {
        if (on) m_draft.workMode = 0;
    });
    connect(m_batch, &QRadioButton::toggled, this, [this](bool on) {
        if (on) m_draft.workMode = 1;
    });
    check(1474, "Close Library dialog after clicking Export button", m_draft.closeLibrary,
          &m_draft.closeLibrary);

    // Editor/Telnet
    auto* editorRow = new QHBoxLayout;
    editorRow->addWidget(label(1866, "Use this editor:"));
    m_editor = new QLineEdit(Q(m_draft.editor), this);
    reg(m_editor, 1651);
    m_editor->setMinimumWidth(260);
    editorRow->addWidget(m_editor, 1);
    auto* editorBrowse = new QPushButton(">>", this);
    reg(editorBrowse, 1372);
    editorRow->addWidget(editorBrowse);
    right->addLayout(editorRow);
    auto* txtRow = new QHBoxLayout;
    txtRow->addWidget(label(1874, "to open files with these extensions:"));
    auto* txtReset = new QPushButton("Reset", this);
    reg(txtReset, 1446);
    txtRow->addStretch(1);
    txtRow->addWidget(txtReset);
    right->addLayout(txtRow);
    m_txtOpn = new QPlainTextEdit(Q(m_draft.txtOpnStr), this);
    reg(m_txtOpn, 1667);
    m_txtOpn->setMaximumHeight(60);
    right->addWidget(m_txtOpn);
    connect(m_editor, &QLineEdit::textChanged, this, [this](const QString& t) { m_draft.editor = S(t); });
    connect(m_txtOpn, &QPlainTextEdit::textChanged, this,
            [this] { m_draft.txtOpnStr = OneLine(m_txtOpn->toPlainText()); });
    connect(editorBrowse, &QPushButton::clicked, this, [this] { BrowseProgram(true); });
    // Reset, ">>" and the BINARY box write their option at once: Cancel keeps it.
    connect(txtReset, &QPushButton::clicked, this, [this] {
        g_strTxtOpnStr = g_strTxtOpnDefault;
        m_txtOpn->setPlainText(Q(g_strTxtOpnDefault));
    });

    check(1511, "Use single click to open files.", m_draft.singleClick, &m_draft.singleClick);

    right->addWidget(label(1870, "Specify telnet client of choice:"));
    auto* telnetRow = new QHBoxLayout;
    m_telnet = new QLineEdit(Q(m_draft.telnet), this);
    reg(m_telnet, 1662);
    telnetRow->addWidget(m_telnet, 1);
    auto* telnetBrowse = new QPushButton(">>", this);
    reg(telnetBrowse, 1443);
    telnetRow->addWidget(telnetBrowse);
    right->addLayout(telnetRow);
    connect(m_telnet, &QLineEdit::textChanged, this, [this](const QString& t) { m_draft.telnet = S(t); });
    connect(telnetBrowse, &QPushButton::clicked, this, [this] { BrowseProgram(false); });

    // Auto-Update
    auto* autoRow = new QHBoxLayout;
    m_autoUpdate = new QCheckBox("Auto-update icons for modified files every", this);
    reg(m_autoUpdate, 1465);
    m_autoUpdate->setChecked(m_draft.autoUpdate);
    autoRow->addWidget(m_autoUpdate);
    m_interval = new QLineEdit(Q(m_draft.autoUpdateIncText), this);
    reg(m_interval, 1596);
    m_interval->setMaximumWidth(60);
    autoRow->addWidget(m_interval);
    autoRow->addWidget(label(1871, "second(s)."));
    autoRow->addStretch(1);
    right->addLayout(autoRow);
    connect(m_interval, &QLineEdit::textChanged, this,
            [this](const QString& t) { m_draft.autoUpdateIncText = S(t); });
    m_basket = check(1464, "Auto-update for current basket only.", m_draft.autoUpBasket,
                     &m_draft.autoUpBasket);
    connect(m_autoUpdate, &QCheckBox::toggled, this, [this](bool on) {
        m_draft.autoUpdate = on;
        EnableAutoUpdateControls();
    });
    auto* limitRow = new QHBoxLayout;
    limitRow->addWidget(label(1873, "Turn off auto-update if session exceeds file limit:"));
    m_limit = new QLineEdit(Q(m_draft.turnOffText), this);
    reg(m_limit, 1665);
    m_limit->setMaxLength(5);
    m_limit->setMaximumWidth(70);
    limitRow->addWidget(m_limit);
    limitRow->addStretch(1);
    right->addLayout(limitRow);
    connect(m_limit, &QLineEdit::textChanged, this, [this](const QString& t) { m_draft.turnOffText = S(t); });

    // FTP Options
    check(1478, "Record remote file information after each FTP.", m_draft.ftpUpdate, &m_draft.ftpUpdate);
    auto* binRow = new QHBoxLayout;
    auto* useBin = new QCheckBox("Mark files as BINARY as added to session", this);
    reg(useBin, 1466);
    useBin->setChecked(m_draft.useBinExt);
    connect(useBin, &QCheckBox::toggled, this, [this](bool v) {
        m_draft.useBinExt = v;
        g_bUseBinExt = v;
    });
    binRow->addWidget(useBin);
    binRow->addStretch(1);
    auto* binReset = new QPushButton("Reset", this);
    reg(binReset, 1338);
    binRow->addWidget(binReset);
    right->addLayout(binRow);
    m_binExt = new QPlainTextEdit(Q(m_draft.binExtStr), this);
    reg(m_binExt, 1598);
    m_binExt->setMaximumHeight(60);
    right->addWidget(m_binExt);
    connect(m_binExt, &QPlainTextEdit::textChanged, this,
            [this] { m_draft.binExtStr = OneLine(m_binExt->toPlainText()); });
    connect(binReset, &QPushButton::clicked, this, [this] {
        g_strBinExtStr = g_strBinExtDefault;
        m_binExt->setPlainText(Q(g_strBinExtDefault));
    });

    right->addStretch(1);
    m_comment = new QLabel("Comment...", this);
    m_comment->setObjectName("1872");
    m_comment->setWordWrap(true);
    m_comment->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_comment->setMinimumSize(420, 150);
    m_comment->setFrameShape(QFrame::StyledPanel);
    right->addWidget(m_comment);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("1");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("2");
    connect(buttons, &QDialogButtonBox::accepted, this, &CProgramOptionsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CProgramOptionsDlg::reject);
    outer->addWidget(buttons);

    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        ShowPage(item ? item->data(0, Qt::UserRole).toInt() : 0);
    });
    EnableAutoUpdateControls();
}

void CProgramOptionsDlg::EnableAutoUpdateControls() {
    m_interval->setEnabled(m_draft.autoUpdate);
    m_basket->setEnabled(m_draft.autoUpdate);
}

int CProgramOptionsDlg::CurrentCode() const {
    QTreeWidgetItem* item = m_tree->currentItem();
    return item ? item->data(0, Qt::UserRole).toInt() : 0;
}

void CProgramOptionsDlg::SelectCode(int code) {
    code = NormalisedPageCode(code);
    m_tree->setCurrentItem(m_items.at(code));
    ShowPage(code);
}

void CProgramOptionsDlg::ShowPage(int code) {
    const std::vector<int> shown = PageControls(code);
    for (auto& [id, w] : m_controls)
        w->setVisible(std::find(shown.begin(), shown.end(), id) != shown.end());
    m_comment->setText(Q(PageComment(code)));
}

void CProgramOptionsDlg::BrowseProgram(bool editor) {
    QLineEdit* edit = editor ? m_editor : m_telnet;
    // The one-line prompt with a file picker that starts among the installed programs.
    CTextPromptDlg prompt(editor ? "Editor Program" : "Telnet Program",
                          editor ? "Enter path and name of the editor"
                                 : "Enter path and name of the Telnet program",
                          edit->text(), 0, true, 3, "/usr/bin", this);
    const int result = s_runModal ? s_runModal(prompt) : prompt.exec();
    if (result != QDialog::Accepted) return;
    (editor ? g_strEditor : g_strTelnet) = prompt.TextBytes();
    edit->setText(prompt.Text());
}

void CProgramOptionsDlg::accept() {
    m_draft.optionSel = CurrentCode();
    if (auto refusal = m_draft.Validate()) {
        Prompter().Message(*refusal, MsgIcon::Warning);
        SelectCode(401);
        m_interval->setFocus();
        m_interval->selectAll();
        return;
    }
    m_draft.Apply();
    QDialog::accept();
}

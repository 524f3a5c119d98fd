#include "filelist/ui/ConcatenateTemplateDlg.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "filelist/Concatenate.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "platform/Prompter.h"
#include "widgets/SharedDialogs.h"

std::function<std::string(const std::string&, const std::string&)> CConcatenateTemplateDlg::s_browseForFile;

namespace {
QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
std::string S(const QString& s) { return s.toUtf8().toStdString(); }

const char* const kPlaceholders[] = {"{$LocalDir}", "{$RemoteDir}", "{$FileName}", "{$FileText}"};
const char* const kDescriptions[] = {
    "Use to reperesent Local Directory of the file.",
    "Use to reperesent Remote Directory of the file.",
    "Use to reperesent file name.",
    "Use to reperesent the actual ***TEXT*** of the file.",
};

// The template box holds LF line breaks; the stored template CR LF.
QString ToBox(const std::string& text) {
    std::string t = text;
    for (std::size_t p; (p = t.find("\r\n")) != std::string::npos;) t.erase(p, 1);
    return Q(t);
}
std::string FromBox(const QString& text) {
    std::string out;
    for (char c : S(text)) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}
}  // namespace

CConcatenateTemplateDlg::CConcatenateTemplateDlg(const CFileItem& item, QWidget* parent)
    : QDialog(parent), m_item(item) {
    setObjectName("2009");
    setWindowTitle("Concatenate Template");
    m_strFinalName = ProposeConcatFinalName(item, g_strConcatOutputFile);
    m_strTemplate = g_strConcatTemplateCurrent;

    m_finalName = new QLineEdit;
    m_finalName->setObjectName("1622");
    auto* browse = new QPushButton("...");
    browse->setObjectName("1335");
    browse->setFixedWidth(32);
    m_placeholders = new QComboBox;
    m_placeholders->setObjectName("1532");
    for (const char* p : kPlaceholders) m_placeholders->addItem(p);
    auto* enter = new QPushButton("Enter");
    enter->setObjectName("1346");
    m_description = new QLabel;
    m_description->setObjectName("1866");
    m_template = new QPlainTextEdit;
    m_template->setObjectName("1663");
    m_template->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(9);
    m_template->setFont(fixed);
    auto* reset = new QPushButton("Reset");
    reset->setObjectName("1418");
    auto* ok = new QPushButton("Concatenate");
    ok->setObjectName("1");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel");
    cancel->setObjectName("2");
    for (QPushButton* b : {browse, enter, reset, cancel}) b->setAutoDefault(false);

    auto* root = new QVBoxLayout(this);
    root->addWidget(new QLabel("Enter the name of Final file:"));
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(m_finalName, 1);
    nameRow->addWidget(browse);
    root->addLayout(nameRow);
    auto* macros = new QGroupBox("Predefined Macros for the Template below:");
    auto* macroRow = new QHBoxLayout(macros);
    macroRow->addWidget(m_placeholders);
    macroRow->addWidget(enter);
    macroRow->addWidget(m_description, 1);
    root->addWidget(macros);
    auto* tmplGroup = new QGroupBox("Template to process each file:");
    auto* tmplLayout = new QVBoxLayout(tmplGroup);
    tmplLayout->addWidget(m_template);
    root->addWidget(tmplGroup, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(reset);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    root->addLayout(buttons);
    resize(760, 400);

    m_finalName->setText(Q(m_strFinalName));
    m_template->setPlainText(ToBox(m_strTemplate));
    m_placeholders->setCurrentIndex(0);
    ShowPlaceholderHelp(0);

    connect(m_finalName, &QLineEdit::textChanged, this, [this](const QString& t) { m_strFinalName = S(t); });
    connect(m_template, &QPlainTextEdit::textChanged, this,
            [this] { m_strTemplate = FromBox(m_template->toPlainText()); });
    connect(m_placeholders, &QComboBox::currentIndexChanged, this, &CConcatenateTemplateDlg::ShowPlaceholderHelp);
    connect(enter, &QPushButton::clicked, this, &CConcatenateTemplateDlg::OnEnter);
    connect(reset, &QPushButton::clicked, this, &CConcatenateTemplateDlg::OnReset);
    connect(browse, &QPushButton::clicked, this, &CConcatenateTemplateDlg::OnBrowse);
    connect(ok, &QPushButton::clicked, this, &CConcatenateTemplateDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CConcatenateTemplateDlg::reject);
}

void CConcatenateTemplateDlg::ShowPlaceholderHelp(int index) {
    if (index >= 0 && index < 4) m_description->setText(kDescriptions[index]);
}

void CConcatenateTemplateDlg::OnEnter() {
    const int index = m_placeholders->currentIndex();
    if (index < 0 || index >= 4) return;
    m_template->setUndoRedoEnabled(false);
    m_template->textCursor().insertText(kPlaceholders[index]);
    m_template->setUndoRedoEnabled(true);
}

void CConcatenateTemplateDlg::OnReset() {
    g_strConcatTemplateCurrent = g_strConcatTemplateDefault;
    m_strTemplate = g_strConcatTemplateCurrent;
    m_template->setPlainText(ToBox(m_strTemplate));
    m_finalName->setText(Q(m_strFinalName));
}

void CConcatenateTemplateDlg::OnBrowse() {
    const std::string folder = GetDirectoryPart(m_strFinalName);
    std::string chosen;
    if (s_browseForFile) {
        chosen = s_browseForFile("Final File", folder);
    } else {
        chosen = S(QFileDialog::getSaveFileName(this, "Final File", Q(folder), QString(), nullptr,
                                                QFileDialog::DontConfirmOverwrite));
    }
    if (chosen.empty()) return;
    m_strFinalName = chosen;
    m_finalName->setText(Q(chosen));
}

void CConcatenateTemplateDlg::accept() {
    if (m_strFinalName.empty()) {
        Prompter().Message("Final file name cannot be empty.", MsgIcon::Warning);
        m_finalName->setFocus();
        return;
    }
    if (m_strTemplate.empty()) {
        Prompter().Message("Template cannot be empty.", MsgIcon::Warning);
        m_template->setFocus();
        return;
    }
    g_strConcatOutputFile = m_strFinalName;
    g_strConcatTemplateCurrent = m_strTemplate;
    QDialog::accept();
}

#include "convert_ui/ui/DefineMacroDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

#include "widgets/TextRules.h"
#include "model/Library.h"
#include "convert_ui/ui/LibraryButtons.h"

namespace {
QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
// A box's text with CR LF line breaks, as the engine takes it.
std::string BoxText(const QPlainTextEdit* box) {
    const QByteArray b = box->toPlainText().toUtf8();
    return ToCrLf(std::string(b.constData(), std::size_t(b.size())));
}
}  // namespace

CDefineMacroDlg::CDefineMacroDlg(const std::string& wildSymbol, bool editTexts, QWidget* parent)
    : QDialog(parent), m_strWildSymbol(wildSymbol), m_bEditTexts(editTexts) {
    Build();
}

CDefineMacroDlg::CDefineMacroDlg(const std::string& wildSymbol, const CMacro& m, bool editTexts,
                                 QWidget* parent)
    : QDialog(parent), m_strWildSymbol(wildSymbol), m_bEditTexts(editTexts) {
    m_strFind = m.Find;
    m_strReplace = m.Replace;
    m_bMatchCase = m.IsMatchCase;
    m_bFindWild = m.IsFindWild;
    m_bRepWild = m.IsRepWild;
    m_bPerLine = m.IsPerLine;
    m_bCompConst = m.IsCompConst;
    m_bSubFilter = m.IsSubFilter;
    m_bDelimParse = m.IsDelimParse;
    Build();
}

void CDefineMacroDlg::Build() {
    setWindowTitle("Find and Replace");
    m_checkPerLine = MakeCheck(this, "Per-line search", "1515");
    m_checkFilter = MakeCheck(this, "Filter processed text", "1518");
    m_checkComp = MakeCheck(this, "Compact construct", "1513");
    m_checkDelim = MakeCheck(this, "Delimiter parse", "1470");
    m_checkMatch = MakeCheck(this, "Match case", "1495");
    m_checkFindWild = MakeCheck(this, "Use wildcard", "1525");
    m_checkRepWild = MakeCheck(this, "Use wildcard", "1526");

    auto* knobs = new QGroupBox(this);
    auto* kg = new QGridLayout(knobs);
    kg->addWidget(m_checkPerLine, 0, 0);
    kg->addWidget(m_checkComp, 0, 1);
    kg->addWidget(m_checkFilter, 1, 0);
    kg->addWidget(m_checkDelim, 1, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Vertical, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("1");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("2");
    connect(buttons, &QDialogButtonBox::accepted, this, &CDefineMacroDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDefineMacroDlg::reject);

    m_symbol = MakeWildSymbolBox(this, 34, QString::fromStdString(m_strWildSymbol));

    auto* findLabel = new QLabel("Find: (1st box)", this);
    findLabel->setObjectName("1866");
    auto* repLabel = new QLabel("Replace: (2nd box)", this);
    repLabel->setObjectName("1870");

    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSize(9);
    m_find = new QPlainTextEdit(this);
    m_find->setObjectName("1633");
    m_replace = new QPlainTextEdit(this);
    m_replace->setObjectName("1631");
    for (QPlainTextEdit* box : {m_find, m_replace}) {
        box->setFont(mono);
        box->setLineWrapMode(QPlainTextEdit::NoWrap);
        box->setTabChangesFocus(false);
    }
    if (m_bEditTexts) {
        m_find->setPlainText(Q(FromCrLf(m_strFind)));
        m_replace->setPlainText(Q(FromCrLf(m_strReplace)));
    } else {
        m_strFind.clear();
        m_strReplace.clear();
        m_find->setReadOnly(true);
        m_replace->setReadOnly(true);
    }
    connect(m_find, &QPlainTextEdit::textChanged, this, [this] { m_strFind = BoxText(m_find); });
    connect(m_replace, &QPlainTextEdit::textChanged, this,
            [this] { m_strReplace = BoxText(m_replace); });

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setObjectName("1933");
    splitter->addWidget(m_find);
    splitter->addWidget(m_replace);
    splitter->setChildrenCollapsible(false);

    auto* top = new QHBoxLayout;
    top->addWidget(knobs, 1);
    top->addWidget(buttons);
    auto* labels = new QHBoxLayout;
    labels->addWidget(findLabel);
    labels->addWidget(m_symbol);
    labels->addWidget(m_checkFindWild);
    labels->addStretch(1);
    labels->addWidget(repLabel);
    labels->addWidget(m_checkRepWild);
    labels->addStretch(1);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(top);
    lay->addWidget(m_checkMatch, 0, Qt::AlignHCenter);
    lay->addLayout(labels);
    lay->addWidget(splitter, 1);
    setMinimumSize(242, 200);
    setMaximumSize(1200, 1000);
    resize(600, 420);

    m_checkMatch->setChecked(m_bMatchCase);
    m_checkFindWild->setChecked(m_bFindWild);
    m_checkRepWild->setChecked(m_bRepWild && m_bFindWild);
    m_checkPerLine->setChecked(m_bPerLine && m_bFindWild);
    m_checkComp->setChecked(m_bCompConst && m_bFindWild);
    m_checkFilter->setChecked(m_bSubFilter && m_bFindWild);
    m_checkDelim->setChecked(m_bDelimParse && m_bFindWild);
    RefreshWildControls();
    connect(m_checkFindWild, &QCheckBox::clicked, this, [this] { OnFindWild(); });
}

void CDefineMacroDlg::RefreshWildControls() {
    const bool wild = m_checkFindWild->isChecked();
    m_checkRepWild->setEnabled(wild);
    m_symbol->setVisible(wild);
    for (QCheckBox* c : {m_checkPerLine, m_checkComp, m_checkFilter, m_checkDelim}) c->setEnabled(wild);
}

void CDefineMacroDlg::OnFindWild() {
    const bool wild = m_checkFindWild->isChecked();
    m_checkRepWild->setChecked(wild);
    if (!wild)
        for (QCheckBox* c : {m_checkPerLine, m_checkComp, m_checkFilter, m_checkDelim}) c->setChecked(false);
    RefreshWildControls();
}

void CDefineMacroDlg::accept() {
    m_strFind = m_bEditTexts ? BoxText(m_find) : std::string();
    m_strReplace = m_bEditTexts ? BoxText(m_replace) : std::string();
    if (m_bEditTexts && m_strFind.empty()) return;
    auto value = [](QCheckBox* c) { return c->isEnabled() && c->isChecked() ? 1 : 0; };
    m_bMatchCase = value(m_checkMatch);
    m_bFindWild = value(m_checkFindWild);
    m_bRepWild = value(m_checkRepWild);
    m_bPerLine = value(m_checkPerLine);
    m_bCompConst = value(m_checkComp);
    m_bSubFilter = value(m_checkFilter);
    m_bDelimParse = value(m_checkDelim);
    QDialog::accept();
}

CMacro CDefineMacroDlg::Result() const {
    return CMacro(m_strFind, m_strReplace, m_bMatchCase, m_bFindWild, m_bRepWild, m_bPerLine,
                  m_bCompConst, m_bSubFilter, m_bDelimParse, 1);
}

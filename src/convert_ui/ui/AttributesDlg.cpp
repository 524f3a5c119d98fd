#include "convert_ui/ui/AttributesDlg.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "widgets/HyperLink.h"
#include "widgets/Icons.h"
#include "convert/ConversionRun.h"
#include "convert_ui/ui/DelimiterListDlg.h"
#include "convert_ui/ui/LibraryButtons.h"
#include "convert_ui/ui/ModalRun.h"
#include "convert_ui/ui/WildCardManagerDlg.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "platform/Prompter.h"

bool g_bAttributesShown = false;

namespace {
const char* const kKnobNames[4] = {"Per-line search", "Compact construct", "Filter processed text", "Delimiter parse"};
}  // namespace

QPixmap KnobPicture(int knob, bool on) {
    QPixmap pm(40, 28);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor body = on ? QColor(60, 160, 60) : QColor(170, 170, 170);
    p.setPen(QPen(body.darker(140), 1.5));
    p.setBrush(body);
    p.drawEllipse(QRectF(4, 2, 24, 24));
    // The pointer: up and right when on, down and left when off.
    p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap));
    const QPointF c(16, 14);
    p.drawLine(c, on ? QPointF(24, 7) : QPointF(9, 21));
    // One letter of the knob's name beside it.
    p.setPen(on ? Qt::black : Qt::gray);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(11);
    p.setFont(f);
    static const char* const letters = "PCFD";
    p.drawText(QRectF(29, 0, 11, 28), Qt::AlignCenter, QString(QChar(letters[knob])));
    return pm;
}

CAttributesDlg::CAttributesDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowCloseButtonHint) {
    setObjectName("2002");
    setWindowTitle("Attributes");
    m_checkMatch = MakeCheck(this, "Match case", "1495");
    m_checkFindWild = MakeCheck(this, "Use wild-card in Find", "1525");
    m_checkRepWild = MakeCheck(this, "Use wild-card in Replace", "1526");
    m_checkPerLine = MakeCheck(this, "", "1516");
    m_checkComp = MakeCheck(this, "", "1514");
    m_checkFilter = MakeCheck(this, "", "1519");
    m_checkDelim = MakeCheck(this, "", "1471");
    QCheckBox* knobChecks[4] = {m_checkPerLine, m_checkComp, m_checkFilter, m_checkDelim};

    m_symbol = MakeWildSymbolBox(this, 34);
    m_wildManager = new QPushButton(">>", this);
    m_wildManager->setObjectName("1454");
    m_wildManager->setToolTip("Wild-card manager");
    m_delimiters = new QPushButton(">>", this);
    m_delimiters->setObjectName("1367");
    m_delimiters->setToolTip("Delimiters");
    // Pictures in place of the two ">>": each is named by what it opens.
    for (QPushButton* b : {m_wildManager, m_delimiters}) {
        ShowButtonPicture(b, "attrs", 16);
        b->setAccessibleName(b->toolTip());
    }
    m_delimLabel = new QLabel("Delimiters", this);
    m_delimLabel->setObjectName("1876");
    m_knobs = new CHyperLink("Knobs...", this);
    m_knobs->setObjectName("1874");
    m_knobs->SetUsageType(5);

    auto* lay = new QVBoxLayout(this);
    lay->addWidget(m_checkMatch);
    lay->addWidget(m_checkFindWild);
    auto* symbolRow = new QHBoxLayout;
    symbolRow->addWidget(m_symbol);
    symbolRow->addWidget(m_wildManager);
    symbolRow->addStretch(1);
    lay->addLayout(symbolRow);
    lay->addWidget(m_checkRepWild);
    auto* knobs = new QGridLayout;
    for (int k = 0; k < 4; ++k) {
        for (int on = 0; on < 2; ++on) {
            QLabel*& pic = m_pictures[2 * k + on];
            pic = new QLabel(this);
            pic->setObjectName(QString::number(1892 + 2 * k + on));
            pic->setPixmap(KnobPicture(k, on == 0));
            pic->setToolTip(kKnobNames[k]);
            knobs->addWidget(pic, 0, k, Qt::AlignCenter);
        }
        knobChecks[k]->setToolTip(kKnobNames[k]);
        knobs->addWidget(knobChecks[k], 1, k, Qt::AlignCenter);
    }
    lay->addLayout(knobs);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_knobs);
    bottom->addStretch(1);
    bottom->addWidget(m_delimLabel);
    bottom->addWidget(m_delimiters);
    lay->addLayout(bottom);

    connect(m_checkMatch, &QCheckBox::clicked, this, [this](bool on) {
        m_matchCase = on;
        CurrentMacro.IsMatchCase = on;
        if (!on) Prompter().Message("Ignoring case may cause extra cpu churning and thus undesirable delay.", MsgIcon::None);
    });
    connect(m_checkFindWild, &QCheckBox::clicked, this, [this](bool on) { OnFindWild(on); });
    connect(m_wildManager, &QPushButton::clicked, this, [this] {
        if (!m_data) return;
        CWildCardManagerDlg dlg(m_data, this);
        RunDialogModal(dlg);
        ShowWildCardSymbol();
    });
    connect(m_delimiters, &QPushButton::clicked, this, [this] {
        if (!m_data) return;
        CLibraryList& libs = m_data->m_LibraryList;
        if (!libs.IsValidIndex(g_nLibIndex)) return;
        CDelimiterListDlg dlg(libs[g_nLibIndex].DelimList, this);
        if (RunDialogModal(dlg) != QDialog::Accepted) return;
        if (libs.IsValidIndex(g_nLibIndex)) libs[g_nLibIndex].DelimList = dlg.Delims();
    });
    connect(m_checkRepWild, &QCheckBox::clicked, this, [this](bool on) {
        m_repWild = on;
        CurrentMacro.IsRepWild = on;
    });
    struct Knob {
        QCheckBox* check;
        bool CAttributesDlg::*flag;
        unsigned char CMacro::*macroFlag;
        int pair;
    };
    const Knob list[4] = {{m_checkPerLine, &CAttributesDlg::m_perLine, &CMacro::IsPerLine, 0},
                          {m_checkComp, &CAttributesDlg::m_compConst, &CMacro::IsCompConst, 2},
                          {m_checkFilter, &CAttributesDlg::m_subFilter, &CMacro::IsSubFilter, 4},
                          {m_checkDelim, &CAttributesDlg::m_delimParse, &CMacro::IsDelimParse, 6}};
    for (const Knob& k : list)
        connect(k.check, &QCheckBox::clicked, this, [this, k](bool on) {
            this->*k.flag = on;
            CurrentMacro.*k.macroFlag = on;
            SetPicturePair(k.pair, on);
            if (k.pair == 6) {
                m_delimiters->setVisible(on);
                m_delimLabel->setVisible(on);
            }
        });
    // What comes and goes with the flags keeps its room, so the window keeps
    // its width and height wherever it was placed (against the WorkPad).
    for (QWidget* w : {static_cast<QWidget*>(m_symbol), static_cast<QWidget*>(m_delimiters),
                       static_cast<QWidget*>(m_delimLabel)}) {
        QSizePolicy policy = w->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        w->setSizePolicy(policy);
    }
    lay->setSizeConstraint(QLayout::SetFixedSize);
    SetMacroAttributes(CMacro("Find Text", "Replace Text", 1, 0, 0, 0, 0, 0, 0, 1));
    adjustSize();
}

QCheckBox* CAttributesDlg::Check(int id) const { return findChild<QCheckBox*>(QString::number(id)); }

void CAttributesDlg::SetPicturePair(int k, bool on) {
    m_pictures[k]->setVisible(on);
    m_pictures[k + 1]->setVisible(!on);
}

void CAttributesDlg::OnFindWild(bool on) {
    m_findWild = on;
    m_repWild = on;
    CurrentMacro.IsFindWild = on;
    CurrentMacro.IsRepWild = on;
    if (!on) {
        // Without wild-cards no knob has a meaning: all four go off.
        m_perLine = m_compConst = m_subFilter = m_delimParse = false;
        for (QCheckBox* c : {m_checkPerLine, m_checkComp, m_checkFilter, m_checkDelim}) c->setChecked(false);
        CurrentMacro.IsPerLine = CurrentMacro.IsCompConst = CurrentMacro.IsSubFilter = CurrentMacro.IsDelimParse = 0;
        m_delimiters->hide();
        m_delimLabel->hide();
    }
    m_knobs->setEnabled(on);
    m_wildManager->setEnabled(on);
    m_checkRepWild->setEnabled(on);
    m_checkRepWild->setChecked(on);
    for (QCheckBox* c : {m_checkPerLine, m_checkComp, m_checkFilter, m_checkDelim}) c->setEnabled(on);
    m_symbol->setVisible(on);
    SetPicturePair(0, m_perLine);
    SetPicturePair(2, m_compConst);
    SetPicturePair(4, m_subFilter);
    SetPicturePair(6, m_delimParse);
}

void CAttributesDlg::RefreshChecks() {
    m_checkFindWild->setChecked(m_findWild);
    m_symbol->setVisible(m_findWild);
    m_wildManager->setEnabled(m_findWild);
    m_checkRepWild->setEnabled(m_findWild);
    m_checkRepWild->setChecked(m_repWild && m_findWild);
    m_checkMatch->setChecked(m_matchCase);
    m_knobs->setEnabled(m_findWild);
    const std::pair<QCheckBox*, bool> knobs[4] = {
        {m_checkPerLine, m_perLine}, {m_checkComp, m_compConst}, {m_checkFilter, m_subFilter}, {m_checkDelim, m_delimParse}};
    for (const auto& [c, on] : knobs) {
        c->setEnabled(m_findWild);
        c->setChecked(on && m_findWild);
    }
    SetPicturePair(0, m_perLine);
    SetPicturePair(4, m_subFilter);
    SetPicturePair(2, m_compConst);
    SetPicturePair(6, m_delimParse);
}

void CAttributesDlg::ShowWildCardSymbol() {
    if (!m_data) return;
    CLibraryList& libs = m_data->m_LibraryList;
    if (!libs.IsValidIndex(libs.CurrentLibrary)) {
        libs.Append(CLibrary());
        libs.CurrentLibrary = 0;
    }
    m_symbol->setText(QString::fromStdString(libs[libs.CurrentLibrary].WildTypeManager.WildCard));
}

void CAttributesDlg::ShowAttributes() {
    ShowWildCardSymbol();
    m_symbol->setVisible(m_findWild);
    m_delimiters->setVisible(m_delimParse);
    m_delimLabel->setVisible(m_delimParse);
}

void CAttributesDlg::SetMacroAttributes(const CMacro& m) {
    m_matchCase = m.IsMatchCase;
    m_perLine = m.IsPerLine;
    m_compConst = m.IsCompConst;
    m_findWild = m.IsFindWild;
    m_repWild = m.IsRepWild;
    m_subFilter = m.IsSubFilter;
    m_delimParse = m.IsDelimParse;
    RefreshChecks();
    ShowAttributes();
}

void CAttributesDlg::RefreshControls() {
    RefreshChecks();
    ShowAttributes();
}

void CAttributesDlg::MoveBesideWindow(const QWidget& window) {
    const QRect p = window.frameGeometry();
    const QRect a = frameGeometry();
    move(p.left() - a.width(), p.top());
}

void CAttributesDlg::reject() {
    g_bAttributesShown = false;
    hide();
}

CKnobsForFindAndReplaceDlg::CKnobsForFindAndReplaceDlg(QWidget* parent) : QDialog(parent) {
    setObjectName("2006");
    setWindowTitle("Knobs for Find and Replace");
    auto* text = new QLabel(
        "You can control the behavior of the Find-and-Replace conversion using these Knobs.\n\n"
        "Click on the link to see example how a certain knob affects the conversion.",
        this);
    text->setWordWrap(true);
    auto* group = new QGroupBox("Knobs:", this);
    auto* grid = new QGridLayout(group);
    const struct {
        const char* text;
        const char* id;
        int usage;
        int picture;
    } links[4] = {{"Per-line search", "1866", 1, 1892},
                  {"Compact construct", "1870", 2, 1894},
                  {"Filter processed text", "1871", 3, 1896},
                  {"Delimiter parse", "1872", 4, 1898}};
    for (int k = 0; k < 4; ++k) {
        auto* pic = new QLabel(group);
        pic->setObjectName(QString::number(links[k].picture));
        pic->setPixmap(KnobPicture(k, true));
        auto* link = new CHyperLink(links[k].text, group);
        link->setObjectName(links[k].id);
        link->SetUsageType(links[k].usage);
        grid->addWidget(pic, k, 0);
        grid->addWidget(link, k, 1);
    }
    grid->setColumnStretch(2, 1);
    auto* close = new QPushButton("Close", this);
    close->setObjectName("2");
    close->setDefault(true);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(text);
    lay->addWidget(group);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(close);
    lay->addLayout(row);
    resize(360, sizeHint().height());
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

#include "convert_ui/ui/TextConversionRulesDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "convert_ui/RuleExamples.h"

bool g_bRulesShown = false;

namespace {
QString Html(const std::string& s) {
    QString t = QString::fromUtf8(s.data(), qsizetype(s.size())).toHtmlEscaped();
    t.replace("\r\n", "<span style='color:#999'>&#8629;</span><br>");
    t.replace(' ', "&nbsp;");
    return t;
}

QString Flags(const CMacro& m) {
    QStringList on;
    if (m.IsMatchCase) on << "Match case";
    if (m.IsFindWild) on << "Wild-card in Find";
    if (m.IsRepWild) on << "Wild-card in Replace";
    if (m.IsPerLine) on << "Per-line search";
    if (m.IsCompConst) on << "Compact construct";
    if (m.IsSubFilter) on << "Filter processed text";
    if (m.IsDelimParse) on << "Delimiter parse";
    return on.join(", ");
}

// One example page: the macro, the input and what the engine makes of it.
QString PageHtml(const RuleExample& e) {
    const QString box = "<td style='background:#f4f4ea; font-family:monospace; padding:4px'>";
    QString h = "<h3>" + QString::fromStdString(e.title).toHtmlEscaped() + "</h3><p>" +
                QString::fromStdString(e.note).toHtmlEscaped() + "</p><table cellspacing='4'>";
    h += "<tr><td><b>Find</b></td>" + box + Html(e.macro.Find) + "</td></tr>";
    h += "<tr><td><b>Replace</b></td>" + box + Html(e.macro.Replace) + "</td></tr>";
    h += "<tr><td><b>Knobs</b></td><td>" + Flags(e.macro).toHtmlEscaped() + "</td></tr>";
    h += "<tr><td><b>Input</b></td>" + box + Html(e.input) + "</td></tr>";
    h += "<tr><td><b>Output</b></td>" + box + "<span style='color:#c00'>" + Html(e.output) + "</span></td></tr>";
    if (!e.knob.empty())
        h += "<tr><td><b>Knob off</b></td>" + box + Html(e.outputWithout) + "</td></tr>";
    return h + "</table>";
}
}  // namespace

CTextConversionRulesDlg::CTextConversionRulesDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowCloseButtonHint) {
    setObjectName("1981");
    setWindowTitle("Text Conversion Rules");
    m_tree = new QTreeWidget(this);
    m_tree->setObjectName("1570");
    m_tree->setHeaderHidden(true);
    m_tree->setMinimumWidth(200);
    m_pages = new QStackedWidget(this);
    m_text = new QLabel("Select a sub category for visual display.", m_pages);
    m_text->setObjectName("1866");
    m_text->setWordWrap(true);
    m_text->setAlignment(Qt::AlignCenter);
    m_pages->addWidget(m_text);

    std::map<int, RuleExample> examples;
    for (RuleExample& e : BuildRuleExamples()) examples[e.code] = std::move(e);
    for (const RuleTopic& t : RuleTopics()) {
        QTreeWidgetItem* item = t.parent < 0 ? new QTreeWidgetItem(m_tree) : new QTreeWidgetItem(m_items[t.parent]);
        item->setText(0, t.text);
        item->setData(0, Qt::UserRole, t.code);
        m_items[t.code] = item;
        if (t.page) continue;
        auto* page = new QLabel(m_pages);
        page->setObjectName(QString::number(t.picture));
        page->setTextFormat(Qt::RichText);
        page->setWordWrap(true);
        page->setAlignment(Qt::AlignTop | Qt::AlignLeft);
        page->setMargin(8);
        page->setText(PageHtml(examples[t.code]));
        m_pages->addWidget(page);
        m_pictures[t.code] = page;
    }
    auto* close = new QPushButton("Close", this);
    close->setObjectName("1");
    close->setDefault(true);
    auto* row = new QHBoxLayout;
    row->addWidget(m_tree);
    row->addWidget(m_pages, 1);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(row, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(close);
    lay->addLayout(buttons);
    resize(760, 360);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this] { ShowTopicText(); });

    // The dialog opens on "Qualifiers", expanded.
    m_tree->setCurrentItem(m_items[2]);
    m_items[2]->setExpanded(true);
    ShowTopicText();
}

int CTextConversionRulesDlg::CurrentTopic() const {
    QTreeWidgetItem* item = m_tree->currentItem();
    return item ? item->data(0, Qt::UserRole).toInt() : 0;
}

QWidget* CTextConversionRulesDlg::CurrentPage() const { return m_pages->currentWidget(); }

void CTextConversionRulesDlg::ShowTopicText() {
    const int code = CurrentTopic();
    for (const RuleTopic& t : RuleTopics())
        if (t.code == code && t.page) {
            m_text->setText(QString::fromUtf8(t.page).replace("\r\n", "\n"));
            m_pages->setCurrentWidget(m_text);
            return;
        }
    auto p = m_pictures.find(code);
    if (p != m_pictures.end()) m_pages->setCurrentWidget(p->second);
}

void CTextConversionRulesDlg::ShowTopic(int code) {
    auto it = m_items.find(code);
    QTreeWidgetItem* item = it != m_items.end() ? it->second : m_items[0];
    m_tree->setCurrentItem(item);
    item->setExpanded(true);
    ShowTopicText();
    ShowRules();
}

void CTextConversionRulesDlg::ShowRules() {
    g_bRulesShown = true;
    show();
    raise();
    activateWindow();
}

void CTextConversionRulesDlg::reject() {
    g_bRulesShown = false;
    hide();
}

void CTextConversionRulesDlg::accept() { reject(); }

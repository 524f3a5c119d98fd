#include "compare/ui/DiffTwoLinesDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "compare/DiffOptions.h"
#include "compare/DiffRows.h"
#include "compare/DiffWindowsState.h"
#include "compare/ui/DiffPane.h"
#include "compare/ui/MasterFileDlg.h"

namespace {

QFont LineFont() {
    QFont f("Lucida Console", 9);
    f.setStyleHint(QFont::Monospace);
    if (!QFontInfo(f).fixedPitch()) {
        f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        f.setPointSize(9);
    }
    return f;
}

}  // namespace

CDiffTwoLinesDlg::CDiffTwoLinesDlg(const std::string& firstLine, const std::string& secondLine,
                                   const std::string& status, const std::string& firstLabel,
                                   const std::string& secondLabel, bool findMode, QWidget* parent)
    : QDialog(parent), m_first(firstLine), m_second(secondLine), m_status(status), m_findMode(findMode) {
    setObjectName("2049");
    const QFont font = LineFont();
    const int lineHeight = QFontMetrics(font).height();
    m_edit1 = new QPlainTextEdit(this);
    m_edit1->setObjectName("1864");
    m_edit2 = new QPlainTextEdit(this);
    m_edit2->setObjectName("1865");
    for (QPlainTextEdit* e : {m_edit1, m_edit2}) {
        e->setFont(font);
        e->setLineWrapMode(QPlainTextEdit::NoWrap);
        e->setMinimumWidth(520);
        e->setFixedHeight(lineHeight * (findMode ? 4 : 2) + 12);
    }
    auto* label1 = new QLabel(QString::fromStdString(firstLabel), this);
    label1->setObjectName("1871");
    auto* label2 = new QLabel(QString::fromStdString(secondLabel), this);
    label2->setObjectName("1872");
    m_markerLabel = new QLabel(this);
    m_markerLabel->setObjectName("1870");
    m_markerLabel->setFont(font);
    m_markerLabel->setTextFormat(Qt::PlainText);
    m_markerLabel->setIndent(m_edit1->document()->documentMargin() + m_edit1->frameWidth());
    m_statusLabel = new QLabel(this);
    m_statusLabel->setObjectName("1866");
    m_statusLabel->setTextFormat(Qt::PlainText);
    m_partial = new QCheckBox("Match partial", this);
    m_partial->setObjectName("1496");
    m_here = new QRadioButton("Here", this);
    m_here->setObjectName("1813");
    m_palette = new QRadioButton("Master palette", this);
    m_palette->setObjectName("1824");
    m_ok = new QPushButton("OK", this);
    m_ok->setObjectName("1");
    m_ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("2");

    auto* grid = new QGridLayout;
    grid->addWidget(label1, 0, 0, Qt::AlignTop);
    grid->addWidget(m_edit1, 0, 1);
    grid->addWidget(m_markerLabel, 1, 1);
    grid->addWidget(label2, 2, 0, Qt::AlignTop);
    grid->addWidget(m_edit2, 2, 1);
    auto* options = new QHBoxLayout;
    options->addWidget(m_partial);
    options->addSpacing(12);
    options->addWidget(m_here);
    options->addWidget(m_palette);
    options->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_statusLabel, 1);
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);
    auto* top = new QVBoxLayout(this);
    top->addLayout(grid);
    top->addLayout(options);
    top->addLayout(buttons);

    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_edit1, &QPlainTextEdit::textChanged, this,
            [this] { m_first = m_edit1->toPlainText().toStdString(); });
    connect(m_partial, &QCheckBox::toggled, this, [](bool on) { g_DiffWindows.findMatchPartial = on; });
    connect(m_here, &QRadioButton::clicked, this, [this] {
        g_DiffWindows.findInMasterPalette = false;
        m_here->setChecked(true);
    });
    connect(m_palette, &QRadioButton::clicked, this, [this] {
        g_DiffWindows.findInMasterPalette = true;
        m_palette->setChecked(true);
    });

    if (findMode) {
        m_edit2->hide();
        label2->hide();
        m_markerLabel->hide();
        m_ok->setText("Find");
        (g_DiffWindows.findInMasterPalette ? m_palette : m_here)->setChecked(true);
        m_partial->setChecked(g_DiffWindows.findMatchPartial);
        setWindowTitle("Find Text");
    } else {
        m_partial->hide();
        m_here->hide();
        m_palette->hide();
        setWindowTitle("Diff Two Lines");
        CompareLines();
    }
    m_statusLabel->setText(QString::fromStdString(m_status));
    const std::string first = m_first, second = m_second;
    m_edit1->setPlainText(QString::fromStdString(first));
    m_edit2->setPlainText(QString::fromStdString(second));
}

void CDiffTwoLinesDlg::SetPaletteAvailable(bool available) {
    m_palette->setEnabled(available);
    if (!available) m_here->setChecked(true);
}

void CDiffTwoLinesDlg::CompareLines() {
    const TwoLineComparison c = CompareTwoLines(m_first, m_second, CDiffOptions::FromProgramOptions());
    m_first = c.first;
    m_second = c.second;
    m_markers = c.markers;
    m_status = c.verdict;
    m_markerLabel->setText(QString::fromStdString(m_markers));
}

void CDiffTwoLinesDlg::accept() {
    const QString sel = m_edit1->textCursor().selectedText();
    m_result = (sel.isEmpty() ? m_edit1->toPlainText() : sel).toStdString();
    QDialog::accept();
}

CIconDescriptionsDlg::CIconDescriptionsDlg(QWidget* parent) : QDialog(parent) {
    setObjectName("2053");
    setWindowTitle("Icon Descriptions");
    auto* top = new QVBoxLayout(this);
    auto addFrame = [&](const char* title, const std::vector<std::pair<QPixmap, const char*>>& rows) {
        auto* box = new QGroupBox(title, this);
        auto* grid = new QGridLayout(box);
        int r = 0;
        for (const auto& [pm, text] : rows) {
            auto* icon = new QLabel(box);
            icon->setPixmap(pm);
            grid->addWidget(icon, r, 0);
            grid->addWidget(new QLabel(text, box), r, 1);
            ++r;
        }
        grid->setColumnStretch(1, 1);
        top->addWidget(box);
    };
    addFrame("Diff Windows", {{DiffMarkerPixmap(3, false), "Deleted"},
                              {DiffMarkerPixmap(1, false), "Changed"},
                              {DiffMarkerPixmap(2, false), "Added"},
                              {DiffMarkerPixmap(4, false), "Exported to master palette"}});
    addFrame("Master Palette:", {{PaletteOriginPixmap(0), "Added"},
                                 {PaletteOriginPixmap(7), "Overridden"},
                                 {PaletteOriginPixmap(15), "Loaded"},
                                 {PaletteOriginPixmap(16), "From editpad"}});
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("1");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    top->addLayout(row);
}

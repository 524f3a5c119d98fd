#include "convert_ui/ui/TabulateInputTextDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "widgets/Icons.h"
#include "widgets/TextRules.h"
#include "convert_ui/ui/ModalRun.h"
#include "model/Trace.h"
#include "platform/Prompter.h"

namespace {
QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
std::string S(const QString& s) {
    const QByteArray b = s.toUtf8();
    return std::string(b.constData(), std::size_t(b.size()));
}

// Remembered for the run.
std::string s_delimiter = "|";
std::string s_gutter = "4";
bool s_transpose = false;

QPushButton* Button(const QString& text, const char* id, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(id);
    b->setAutoDefault(false);
    return b;
}
QLineEdit* Edit(const char* id, QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(id);
    return e;
}
}  // namespace

void CTabulateInputTextDlg::ResetRemembered() {
    s_delimiter = "|";
    s_gutter = "4";
    s_transpose = false;
}

CTabulateInputTextDlg::CTabulateInputTextDlg(int kind, const std::string& firstLine,
                                             const std::string& secondLine, QWidget* parent)
    : QDialog(parent), m_kind(kind), m_firstLine(firstLine), m_secondLine(secondLine) {
    setObjectName("2011");
    setWindowTitle("Tabulate Input Text");

    auto* delimLabel = new QLabel("Delimiter Character:", this);
    delimLabel->setObjectName("1870");
    m_delimiter = Edit("1608", this);
    m_gutter = Edit("1624", this);
    m_gutter->setMaxLength(3);
    m_selectAll = new QCheckBox("Select All Columns", this);
    m_selectAll->setObjectName("1459");
    m_transpose = new QCheckBox("Transpose Final Result", this);
    m_transpose->setObjectName("1524");
    QPushButton* tabulate = Button("Tabulate", "1442", this);
    tabulate->setDefault(true);
    QPushButton* cancel = Button("Cancel", "2", this);

    auto* top = new QGridLayout;
    top->addWidget(delimLabel, 0, 0);
    top->addWidget(m_delimiter, 0, 1);
    top->addWidget(new QLabel("Use ^t for tab", this), 0, 2);
    top->addWidget(new QLabel("Gutter amount:", this), 1, 0);
    top->addWidget(m_gutter, 1, 1);
    top->addWidget(m_transpose, 1, 2);
    top->addWidget(m_selectAll, 2, 0, 1, 2);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(tabulate);
    buttons->addWidget(cancel);
    buttons->addStretch(1);
    auto* head = new QHBoxLayout;
    head->addLayout(top, 1);
    head->addLayout(buttons);

    // The lower part: the columns and the selections.
    m_lower = new QWidget(this);
    m_columnSel = Edit("1659", m_lower);
    m_whereSel = Edit("1660", m_lower);
    m_table = Edit("1606", m_lower);
    QPushButton* clearCols = Button("x", "1344", m_lower);
    QPushButton* clearWhere = Button("x", "1345", m_lower);
    m_update = Button("Update", "1438", m_lower);
    m_insert = Button("Insert", "1436", m_lower);
    m_delete = Button("Delete", "1435", m_lower);
    for (QPushButton* b : {clearCols, clearWhere, m_update, m_insert, m_delete}) ShowButtonPicture(b, "tabulate", 16);
    m_list = new QTreeWidget(m_lower);
    m_list->setObjectName("1705");
    m_list->setRootIsDecorated(false);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    auto* lower = new QGridLayout(m_lower);
    lower->setContentsMargins(0, 0, 0, 0);
    lower->addWidget(new QLabel("Column Selection:", m_lower), 0, 0);
    lower->addWidget(m_columnSel, 0, 1);
    lower->addWidget(clearCols, 0, 2);
    lower->addWidget(new QLabel("(Seperated by blank...)", m_lower), 1, 1);
    lower->addWidget(new QLabel("Columns from first line of Input Text:", m_lower), 2, 0, 1, 3);
    lower->addWidget(m_list, 3, 0, 1, 3);
    lower->addWidget(new QLabel("{Ctrl key + Click} to enter in Selection", m_lower), 4, 0, 1, 3);
    lower->addWidget(new QLabel("WHERE Selection:", m_lower), 5, 0);
    lower->addWidget(m_whereSel, 5, 1);
    lower->addWidget(clearWhere, 5, 2);
    lower->addWidget(new QLabel("Database..Table:", m_lower), 6, 0);
    lower->addWidget(m_table, 6, 1, 1, 2);
    auto* sqlButtons = new QHBoxLayout;
    sqlButtons->addStretch(1);
    sqlButtons->addWidget(m_update);
    sqlButtons->addWidget(m_insert);
    sqlButtons->addWidget(m_delete);
    lower->addLayout(sqlButtons, 7, 0, 1, 3);
    lower->setRowStretch(3, 1);

    auto* lay = new QVBoxLayout(this);
    lay->addLayout(head);
    lay->addWidget(m_lower, 1);

    m_delimiter->setText(Q(s_delimiter));
    m_gutter->setText(Q(s_gutter));
    m_transpose->setChecked(s_transpose);
    const int w = 400;
    if (m_kind == 1) {
        m_list->setHeaderLabels({"  #  ", "  Columns  ", "  Value  ", "  Quote  "});
        m_list->setColumnWidth(0, int(w * 0.15));
        for (int c = 1; c < 4; ++c) m_list->setColumnWidth(c, int(w * 0.25));
    } else {
        m_list->setHeaderLabels({"  #  ", "  Columns  "});
        m_list->setColumnWidth(0, int(w * 0.15));
        m_list->setColumnWidth(1, int(w * 0.75));
    }
    FillColumnList();
    m_selectAll->setChecked(true);
    FillSelectionAll();
    ApplyLayout();

    m_columnSel->installEventFilter(this);
    m_whereSel->installEventFilter(this);
    connect(tabulate, &QPushButton::clicked, this, [this] {
        if (!Validate()) return;
        m_params.sqlMode = 0;
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_update, &QPushButton::clicked, this, [this] { RunSql(1); });
    connect(m_insert, &QPushButton::clicked, this, [this] { RunSql(2); });
    connect(m_delete, &QPushButton::clicked, this, [this] { RunSql(3); });
    connect(m_selectAll, &QCheckBox::clicked, this, [this](bool on) {
        if (on) FillSelectionAll();
        ApplyLayout();
    });
    connect(clearCols, &QPushButton::clicked, this, [this] {
        m_columnSel->clear();
        m_selectAll->setChecked(false);
        ApplyLayout();
    });
    connect(clearWhere, &QPushButton::clicked, this, [this] { m_whereSel->clear(); });
    connect(m_list, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { OnListClicked(item); });
}

void CTabulateInputTextDlg::ApplyLayout() {
    if (m_kind == 1) {
        setWindowTitle("Write SQL");
        m_transpose->hide();
        m_lower->show();
        // The SQL layout is 452 to 3000 pixels wide and exactly 525 high.
        setMinimumSize(452, 525);
        setMaximumSize(3000, 525);
        resize(width() < 452 ? 452 : width(), 525);
        return;
    }
    const bool compact = m_selectAll->isChecked();
    setWindowTitle(compact ? "Tabulate Text" : "Tabulate Text~");
    m_lower->setVisible(!compact);
    for (QPushButton* b : {m_update, m_insert, m_delete}) b->hide();
    // The tabulate layouts: 452 to 3000 pixels wide, 130 to 455 high.
    setMinimumSize(452, 130);
    setMaximumSize(3000, 455);
    adjustSize();
    resize(std::max(width(), 452), compact ? std::max(130, sizeHint().height()) : 455);
}

void CTabulateInputTextDlg::FillColumnList() {
    std::vector<int> starts;
    std::string delimiter = GuessDelimiter(m_firstLine, S(m_delimiter->text()), starts);
    if (!starts.empty()) {
        std::string line = "Alinment: ";
        for (int s : starts) line += std::to_string(s) + " ";
        WriteTrace(line);
    }
    m_params = TabulateParams();
    m_params.columnStarts = starts;
    m_delimiter->setText(Q(delimiter));
    m_list->clear();
    std::vector<std::string> names, values;
    SplitLineIntoColumns(delimiter, m_firstLine, names, starts);
    SplitLineIntoColumns(delimiter, m_secondLine, values, starts);
    m_params.columnNames = names;
    m_params.quoteColumns.assign(names.size(), 1);
    for (std::size_t i = 0; i < values.size() && i < names.size(); ++i)
        if (IsNumericText(values[i])) m_params.quoteColumns[i] = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        auto* row = new QTreeWidgetItem(m_list);
        row->setText(0, QString::number(i + 1));
        row->setText(1, Q(names[i]));
        if (m_kind == 1) {
            row->setText(2, "As found");
            row->setText(3, m_params.quoteColumns[i] ? "Yes" : "No");
        }
    }
}

void CTabulateInputTextDlg::FillSelectionAll() {
    QString sel;
    for (int i = 1; i <= m_list->topLevelItemCount(); ++i) sel += QString::number(i) + " ";
    m_columnSel->setText(sel);
}

void CTabulateInputTextDlg::OnListClicked(QTreeWidgetItem* item) {
    if (!(QApplication::keyboardModifiers() & Qt::ControlModifier) || !item) return;
    const QString k = QString::number(m_list->indexOfTopLevelItem(item) + 1) + " ";
    if (m_columnTarget) {
        m_columnSel->setText(m_columnSel->text() + k);
        m_selectAll->setChecked(false);
    } else {
        m_whereSel->setText(m_whereSel->text() + k);
    }
}

bool CTabulateInputTextDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (watched == m_columnSel) {
            m_selectAll->setChecked(false);
            m_columnTarget = true;
            // The box flashes once: the clicked columns go here now.
            m_columnSel->setStyleSheet("QLineEdit { background: palette(highlight); }");
            QTimer::singleShot(250, m_columnSel, [box = m_columnSel] { box->setStyleSheet(QString()); });
        } else if (watched == m_whereSel) {
            m_columnTarget = false;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool CTabulateInputTextDlg::Validate() {
    TabulateInput in;
    in.delimiter = S(m_delimiter->text());
    in.columnSel = S(m_columnSel->text());
    in.whereSel = S(m_whereSel->text());
    in.gutter = S(m_gutter->text());
    in.tableName = S(m_table->text());
    in.transpose = m_transpose->isChecked();
    in.columnCount = m_list->topLevelItemCount();
    in.sql = m_kind == 1;
    const TabulateCheck check = ValidateTabulateInput(in, m_params);
    if (!check.message.empty()) {
        Prompter().Message(check.message, MsgIcon::None);
        if (check.focus)
            if (auto* box = findChild<QLineEdit*>(QString::number(check.focus))) box->setFocus();
        return false;
    }
    s_delimiter = in.delimiter;
    s_gutter = in.gutter;
    s_transpose = in.transpose;
    return true;
}

void CTabulateInputTextDlg::RunSql(int mode) {
    if (!Validate()) return;
    m_params.sqlMode = mode;
    CSqlPreviewDlg preview(m_secondLine, m_params, this);
    if (RunDialogModal(preview) == QDialog::Accepted) accept();
}

CSqlPreviewDlg::CSqlPreviewDlg(const std::string& dataLine, const TabulateParams& params, QWidget* parent)
    : QDialog(parent) {
    setObjectName("249");
    setWindowTitle("SQL Preview");
    m_box = new QPlainTextEdit(this);
    m_box->setObjectName("1462");
    m_box->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_box->setLineWrapMode(QPlainTextEdit::NoWrap);
    std::string sql;
    if (params.sqlMode == 1) sql = WriteSqlUpdate(dataLine, params);
    else if (params.sqlMode == 2) sql = WriteSqlInsert(dataLine, params);
    else if (params.sqlMode == 3) sql = WriteSqlDelete(dataLine, params);
    m_box->setPlainText(Q(FromCrLf(sql)));
    auto* execute = new QPushButton("Execute", this);
    execute->setObjectName("1");
    execute->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("2");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(new QLabel("Hit Execute if Preview looks fine:", this), 1);
    buttons->addWidget(execute);
    buttons->addWidget(cancel);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(buttons);
    lay->addWidget(m_box, 1);
    resize(480, 300);
    connect(execute, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

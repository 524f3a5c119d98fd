#include "convert_ui/ui/BatchTextConversionDlg.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "convert/ConversionEngine.h"
#include "widgets/Icons.h"
#include "widgets/ScreenFit.h"
#include "widgets/SharedDialogs.h"
#include "widgets/TextRules.h"
#include "convert_ui/ui/ModalRun.h"
#include "filelist/AddFileItems.h"
#include "convert/ConversionRun.h"
#include "model/FileItem.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/Trace.h"
#include "platform/Prompter.h"
#include "remote/FtpWorker.h"
#include "remote/TransferEngine.h"

bool g_bBatchShown = false;
bool g_bOutputFilenamesShown = false;
bool g_bFindReplacePreviewShown = false;

namespace {
QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
std::string S(const QString& s) {
    const QByteArray b = s.toUtf8();
    return std::string(b.constData(), std::size_t(b.size()));
}

// The row image strip: 14/15 for files without/with instances; for
// instances 6..9 fresh, 10..11 skipped, 12..13 changed, an odd image being
// the picture of an instance found by an odd macro step.
QIcon ImageIcon(int image) {
    static std::map<int, QIcon> cache;
    auto it = cache.find(image);
    if (it != cache.end()) return it->second;
    QColor c;
    if (image == 14) c = QColor(200, 200, 200);
    else if (image == 15) c = QColor(40, 150, 40);
    else if (image >= 12) c = QColor(230, 140, 20);  // changed
    else if (image >= 10) c = QColor(160, 160, 160);  // skipped
    else c = QColor(60, 120, 220);                    // fresh
    if (image >= 6 && image <= 13 && image % 2) c = c.darker(140);
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setBrush(c);
    p.setPen(Qt::darkGray);
    p.drawRoundedRect(2, 3, 11, 10, 2, 2);
    if (image == 8 || image == 9) {
        // Found by a later step whose source text was not kept.
        p.setPen(Qt::white);
        p.drawLine(5, 8, 10, 8);
    }
    p.end();
    return cache[image] = QIcon(pm);
}

QPushButton* Button(QWidget* parent, const char* id, const QString& text, const QString& tip, bool checkable = false) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(id);
    b->setToolTip(tip);
    b->setCheckable(checkable);
    b->setAutoDefault(false);
    return b;
}

std::string FormatElapsed(qint64 ms) {
    const qint64 s = ms / 1000;
    return std::to_string(s / 3600 % 24) + ":" + std::to_string(s / 60 % 60) + ":" + std::to_string(s % 60) + "." +
           std::to_string(ms % 1000 / 100);
}
}  // namespace

// ---- instance model

const CFindRepPreview* CInstanceModel::Rec() const {
    if (!m_libs || m_row < 0 || m_row >= int(m_libs->Previews.size())) return nullptr;
    return &m_libs->Previews[m_row];
}

void CInstanceModel::ShowRow(int row) {
    beginResetModel();
    m_row = row;
    endResetModel();
}

void CInstanceModel::RefreshInstance(int j) { emit dataChanged(index(j, 0), index(j, 3)); }

int CInstanceModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    const CFindRepPreview* r = Rec();
    return r ? int(r->Instances.size()) : 0;
}

QVariant CInstanceModel::data(const QModelIndex& index, int role) const {
    const CFindRepPreview* r = Rec();
    if (!r || index.row() >= int(r->Instances.size())) return {};
    const CFindRepInstance& i = r->Instances[index.row()];
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
            case 0: return QString::number(i.InstanceNo + 1);
            case 1: return i.LineNo < 0 ? QString("na") : QString::number(i.LineNo + 1);
            case 2: return QString::number(i.Position);
            case 3: return Q(i.LineText);
        }
    }
    if (role == Qt::DecorationRole && index.column() == 0) return ImageIcon(InstanceImage(i));
    if (role == Qt::UserRole) return InstanceImage(i);
    return {};
}

QVariant CInstanceModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* names[] = {"Instance", "Line", "Pos", "Text"};
    return section >= 0 && section < 4 ? QVariant(names[section]) : QVariant();
}

// ---- preview window

CFindAndReplacePreviewDlg::CFindAndReplacePreviewDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Find and Replace Preview");
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSize(9);
    m_upper = new QPlainTextEdit(this);
    m_upper->setObjectName("1804");
    m_upper->setReadOnly(true);
    m_lower = new QPlainTextEdit(this);
    m_lower->setObjectName("1805");
    for (QPlainTextEdit* b : {m_upper, m_lower}) b->setFont(mono);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->setObjectName("1933");
    split->addWidget(m_upper);
    split->addWidget(m_lower);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("1");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("2");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(split, 1);
    lay->addWidget(buttons);
    resize(420, 300);
}

void CFindAndReplacePreviewDlg::ShowTexts(const std::string& found, const std::string& replacement) {
    m_upper->setPlainText(Q(FromCrLf(found)));
    m_lower->setPlainText(Q(FromCrLf(replacement)));
}

std::string CFindAndReplacePreviewDlg::Replacement() const { return ToCrLf(S(m_lower->toPlainText())); }

void CFindAndReplacePreviewDlg::ShowWindow() {
    g_bFindReplacePreviewShown = true;
    show();
}

void CFindAndReplacePreviewDlg::accept() { reject(); }

void CFindAndReplacePreviewDlg::reject() {
    g_bFindReplacePreviewShown = false;
    hide();
}

// ---- Output Filenames window

COutputFilenamesDlg::COutputFilenamesDlg(CBatchTextConversionDlg& batch, QWidget* parent)
    : QDialog(parent), m_batch(batch) {
    setWindowTitle("Output Filenames");
    m_strLocation = g_strLastLocalDir;
    auto* output = Button(this, "1855", "Output", "Generate output file names");
    auto* custom = Button(this, "1857", "Custom", "Customize prefix, suffix, ext");
    auto* locations = Button(this, "1858", "Locations", "Choose output location");
    for (QPushButton* b : {output, custom, locations}) ShowButtonPicture(b, "batch", 32);
    auto* options = new QGroupBox("Options:", this);
    options->setObjectName("1915");
    auto* ol = new QVBoxLayout(options);
    for (QPushButton* b : {output, custom, locations}) ol->addWidget(b);
    ol->addStretch(1);

    m_group = new QGroupBox(this);
    m_group->setObjectName("1918");
    m_description = new QLabel(this);
    m_description->setObjectName("1917");
    m_description->setWordWrap(true);
    auto* g = new QGridLayout(m_group);
    g->addWidget(m_description, 0, 0, 1, 4);

    m_same = new QCheckBox("Same as input names", this);
    m_same->setObjectName("1822");
    m_fromOutput = new QCheckBox("Using text from Output window", this);
    m_fromOutput->setObjectName("1821");
    g->addWidget(m_same, 1, 0, 1, 4);
    g->addWidget(m_fromOutput, 2, 0, 1, 4);
    m_groups[1] = {m_same, m_fromOutput};

    auto label = [this](const char* text, const char* id) {
        auto* l = new QLabel(text, this);
        l->setObjectName(id);
        return l;
    };
    auto edit = [this](const char* id, const std::string& text) {
        auto* e = new QLineEdit(Q(text), this);
        e->setObjectName(id);
        return e;
    };
    QLabel* lp = label("Prefix:", "1920");
    QLabel* ls = label("Suffix:", "1921");
    QLabel* le = label("Ext:", "1922");
    m_prefix = edit("1619", m_strPrefix);
    m_suffix = edit("1620", m_strSuffix);
    m_ext = edit("1616", m_strExt);
    m_ext->setEnabled(false);
    m_enumPrefix = new QCheckBox("Enumerate", this);
    m_enumPrefix->setObjectName("1476");
    m_enumPrefix->setChecked(true);
    m_enumSuffix = new QCheckBox("Enumerate", this);
    m_enumSuffix->setObjectName("1477");
    m_preserve = new QCheckBox("Preserve", this);
    m_preserve->setObjectName("1475");
    m_preserve->setChecked(true);
    auto* modify2 = Button(this, "1394", "Modify", "");
    g->addWidget(lp, 3, 0);
    g->addWidget(m_prefix, 3, 1);
    g->addWidget(m_enumPrefix, 3, 2);
    g->addWidget(ls, 4, 0);
    g->addWidget(m_suffix, 4, 1);
    g->addWidget(m_enumSuffix, 4, 2);
    g->addWidget(le, 5, 0);
    g->addWidget(m_ext, 5, 1);
    g->addWidget(m_preserve, 5, 2);
    g->addWidget(modify2, 6, 1);
    m_groups[2] = {lp, ls, le, m_prefix, m_suffix, m_ext, m_enumPrefix, m_enumSuffix, m_preserve, modify2};

    QLabel* ll = label("Output Location:", "1923");
    m_location = edit("1640", m_strLocation);
    auto* browse = Button(this, "1340", "...", "");
    auto* modify3 = Button(this, "1448", "Modify", "");
    g->addWidget(ll, 7, 0);
    g->addWidget(m_location, 7, 1, 1, 2);
    g->addWidget(browse, 7, 3);
    g->addWidget(modify3, 8, 1);
    m_groups[3] = {ll, m_location, browse, modify3};
    g->setRowStretch(9, 1);

    auto* close = Button(this, "2", "Close", "");
    auto* lay = new QHBoxLayout;
    lay->addWidget(options);
    lay->addWidget(m_group, 1);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(lay, 1);
    outer->addWidget(close, 0, Qt::AlignRight);
    resize(560, 300);

    connect(close, &QPushButton::clicked, this, [this] { reject(); });
    connect(output, &QPushButton::clicked, this, [this] { ShowGroup(1); });
    connect(custom, &QPushButton::clicked, this, [this] { ShowGroup(2); });
    connect(locations, &QPushButton::clicked, this, [this] { ShowGroup(3); });
    connect(m_prefix, &QLineEdit::textChanged, this, [this](const QString& t) { m_strPrefix = S(t); });
    connect(m_suffix, &QLineEdit::textChanged, this, [this](const QString& t) { m_strSuffix = S(t); });
    connect(m_ext, &QLineEdit::textChanged, this, [this](const QString& t) { m_strExt = S(t); });
    connect(m_location, &QLineEdit::textChanged, this, [this](const QString& t) { m_strLocation = S(t); });
    connect(m_enumPrefix, &QCheckBox::clicked, this, [this](bool on) {
        m_bEnumPrefix = on;
        if (on) m_enumSuffix->setChecked(m_bEnumSuffix = false);
    });
    connect(m_enumSuffix, &QCheckBox::clicked, this, [this](bool on) {
        m_bEnumSuffix = on;
        if (on) m_enumPrefix->setChecked(m_bEnumPrefix = false);
    });
    connect(m_preserve, &QCheckBox::clicked, this, [this](bool on) {
        m_bPreserveExt = on;
        if (on) m_ext->clear();
        m_ext->setEnabled(!on);
    });
    auto base = [this](QCheckBox* box, int scheme, int naming) {
        if (!m_batch.HasSelectedInputs()) {
            box->setChecked(false);
            return;
        }
        m_batch.SetOutputNames(scheme, "");
        m_nBaseNaming = naming;
        m_same->setChecked(naming == 1);
        m_fromOutput->setChecked(naming == 2);
    };
    connect(m_same, &QCheckBox::clicked, this, [this, base] { base(m_same, 1, 1); });
    connect(m_fromOutput, &QCheckBox::clicked, this, [this, base] { base(m_fromOutput, 7, 2); });
    connect(modify2, &QPushButton::clicked, this,
            [this] { m_batch.ApplyCustomNaming(m_nBaseNaming, m_strPrefix, m_strSuffix, m_strExt); });
    connect(modify3, &QPushButton::clicked, this, [this] { OnApplyRedirect(); });
    connect(browse, &QPushButton::clicked, this, [this] {
        if (!m_batch.HasSelectedInputs()) return;
        const auto dir =
            Prompter().AskTextBrowse("Output Directory", "Enter Output Directory:", g_strLastLocalDir, 2, g_strLastLocalDir);
        if (!dir) return;
        if (!dir->empty()) m_location->setText(Q(*dir));
        OnApplyRedirect();
    });
    ShowGroup(1);
}

void COutputFilenamesDlg::ShowGroup(int group) {
    static const char* titles[] = {"", "1. Batch Naming:", "2. Customize:", "3. Redirect:"};
    static const char* descriptions[] = {
        "", "Generate names of output files for the selected items using any of the following methods:",
        "Customize output file names in the list by adjusting prfix, suffix, and extension:",
        "Change locations for selected items to a directory of your choice. Filenames will remain intact:"};
    for (int k = 1; k <= 3; ++k)
        for (QWidget* w : m_groups[k]) w->setVisible(k == group);
    m_group->setTitle(titles[group]);
    m_description->setText(descriptions[group]);
}

void COutputFilenamesDlg::OnApplyRedirect() {
    if (!m_strLocation.empty() && m_strLocation.back() != '/') m_location->setText(Q(m_strLocation + "/"));
    m_batch.RedirectOutputNames(m_strLocation);
}

NamingFlags COutputFilenamesDlg::Flags() const { return {m_bEnumSuffix, m_bEnumPrefix, m_bPreserveExt}; }

void COutputFilenamesDlg::ShowWindow() {
    g_bOutputFilenamesShown = true;
    show();
    raise();
}

void COutputFilenamesDlg::reject() {
    g_bOutputFilenamesShown = false;
    hide();
}

// ---- the batch window

CBatchTextConversionDlg::CBatchTextConversionDlg(QWidget* parent) : QDialog(parent) {
    m_preview = new CFindAndReplacePreviewDlg(parent);
    m_outputNames = new COutputFilenamesDlg(*this, parent);
    m_inputs = new QTreeWidget(this);
    m_inputs->setObjectName("1709");
    m_inputs->setRootIsDecorated(false);
    m_inputs->setUniformRowHeights(true);
    m_inputs->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_inputs->setHeaderLabels({"Input", "Output"});
    m_inputs->setColumnWidth(0, 160);
    m_model = new CInstanceModel(this);
    m_instances = new QTableView(this);
    m_instances->setObjectName("1710");
    m_instances->setModel(m_model);
    m_instances->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_instances->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_instances->verticalHeader()->hide();
    m_instances->verticalHeader()->setDefaultSectionSize(20);
    m_instances->horizontalHeader()->setStretchLastSection(true);
    m_instances->setWordWrap(false);
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName("1935");
    m_splitter->addWidget(m_inputs);
    m_splitter->addWidget(m_instances);

    auto* close = Button(this, "2", "Close", "");
    auto* commit = Button(this, "1792", "Commit writing to files", "Commit writing. (Write Find-Replace results to files).");
    auto* create = Button(this, "1796", "Create Find-Rep\ninstances", "Search in files using macros from Library.");
    auto* convert = Button(this, "1348", "Convert\nlisted files", "Convert selected files. Writes results to ouput files.");
    auto* stop = Button(this, "1349", "Stop", "Stop batch processing");
    auto* delIn = Button(this, "1351", "Del input", "Remove selected input files");
    auto* delOut = Button(this, "1528", "Del output", "Remove selected output files");
    auto* output = Button(this, "1855", "Output", "Generate output file names");
    auto* load = Button(this, "1737", "Load selected\nfrom File-list", "Load selected files from main list");
    auto* reset = Button(this, "1795", "Reset", "");
    auto* save = Button(this, "1806", "Save changes", "Save changes made in selected instance. Changes will reflect in final results in files.");
    auto* libs = Button(this, "1861", "Libs", "Show current Library");
    m_skip = Button(this, "1800", "Skip instance", "Skip instance while writing results to files", true);
    m_previewButton = Button(this, "1510", "Preview", "", true);
    m_previewButton->setChecked(true);
    m_sourceTable = new QCheckBox("Build source access table", this);
    m_sourceTable->setObjectName("BuildSourceAccessTable");
    m_sourceTable->setChecked(true);
    m_sourceTable->setToolTip("Keep the text before every macro, so that each instance can be shown in its source");
    m_status = new QLineEdit(this);
    m_status->setObjectName("1650");
    m_status->setReadOnly(true);
    m_status->setMaximumWidth(110);
    m_hint = new QLineEdit(this);
    m_hint->setObjectName("1803");

    // The buttons show their pictures: the small ones 16 pixels, the large 32.
    for (QPushButton* b : {delIn, delOut, stop, m_skip, save}) ShowButtonPicture(b, "batch", 16);
    for (QPushButton* b : {output, convert, libs, load, create, commit}) ShowButtonPicture(b, "batch", 32);
    auto* top = new QHBoxLayout;
    for (QPushButton* b : {load, output, libs, convert, create, commit}) top->addWidget(b);
    top->addStretch(1);
    top->addWidget(m_previewButton);
    top->addWidget(close);
    auto* mid = new QHBoxLayout;
    for (QPushButton* b : {delIn, delOut, stop, reset, m_skip, save}) mid->addWidget(b);
    mid->addWidget(m_sourceTable);
    mid->addWidget(m_status);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(top);
    lay->addLayout(mid);
    lay->addWidget(m_hint);
    lay->addWidget(m_splitter, 1);
    setMinimumSize(396, 250);
    setMaximumSize(1600, 800);
    resize(900, 460);

    m_ticker = new QTimer(this);
    m_ticker->setInterval(100);
    connect(m_ticker, &QTimer::timeout, this, [this] {
        m_status->setText(Q(FormatElapsed(QDateTime::currentMSecsSinceEpoch() - m_startMs)));
    });

    connect(close, &QPushButton::clicked, this, [this] { reject(); });
    connect(commit, &QPushButton::clicked, this, [this] { OnCommitWriting(); });
    connect(create, &QPushButton::clicked, this, [this] { OnCreateFindRepInstances(); });
    connect(convert, &QPushButton::clicked, this, [this] { OnConvertListedFiles(); });
    connect(stop, &QPushButton::clicked, this, [this] { OnStop(); });
    connect(delIn, &QPushButton::clicked, this, [this] { OnDelInput(); });
    connect(delOut, &QPushButton::clicked, this, [this] { OnDelOutput(); });
    connect(output, &QPushButton::clicked, this, [this] { m_outputNames->ShowWindow(); });
    connect(load, &QPushButton::clicked, this, [this] { LoadSelectedFileItems(); });
    connect(reset, &QPushButton::clicked, this, [this] { OnReset(); });
    connect(save, &QPushButton::clicked, this, [this] { OnSaveChanges(); });
    connect(libs, &QPushButton::clicked, this, [this] { if (onShowLibrary) onShowLibrary(); });
    connect(m_skip, &QPushButton::clicked, this, [this] { OnSkipInstance(); });
    connect(m_previewButton, &QPushButton::clicked, this, [this](bool on) { SetPreviewLayout(on); });
    connect(m_inputs, &QTreeWidget::itemClicked, this, [this] {
        if (m_runner && m_runner->IsRunning()) return;
        const auto sel = SelectedInputs();
        if (!sel.empty() && sel[0] != m_nCurRow) ShowCurrentRow(sel[0]);
    });
    connect(m_inputs, &QTreeWidget::itemDoubleClicked, this, [this] { OpenInputInEditor(); });
    m_inputs->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_inputs, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { ShowInputContextMenu(m_inputs->viewport()->mapToGlobal(pos)); });
    connect(m_sourceTable, &QCheckBox::toggled, this, [this](bool on) {
        if (m_runner) m_runner->keepSteps = on;
    });
    connect(m_instances, &QTableView::clicked, this, [this] { OnInstanceClicked(false); });
    // Up and Down in the instance list show the instance they reach.
    connect(m_instances->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& now) {
                if (now.isValid() && m_nCurRow >= 0) ShowInstance(now.row());
            });
    m_inputs->installEventFilter(this);
    connect(m_instances, &QTableView::doubleClicked, this, [this] { OnInstanceClicked(true); });
    m_hint->setText("Use GREEN button to search text in files");
    SetPreviewLayout(true);
}

CBatchTextConversionDlg::~CBatchTextConversionDlg() {
    m_runner.reset();
    delete m_preview;
    delete m_outputNames;
    g_bBatchShown = g_bOutputFilenamesShown = g_bFindReplacePreviewShown = false;
}

void CBatchTextConversionDlg::SetProgramData(CProgramData* data) {
    m_data = data;
    m_model->SetSource(&data->m_LibraryList);
    m_runner = std::make_unique<CBatchRunner>(data->m_LibraryList);
    m_runner->post = [](std::function<void()> task) { PostToGui(std::move(task)); };
    m_runner->keepSteps = m_sourceTable->isChecked();
    m_runner->onSelectRow = [this](int row) { SelectListItem(row); };
    m_runner->onRowImage = [this](int row, int image) { SetInputRowImage(row, image); };
    m_runner->onFinished = [this](BatchMode mode, int failed) { RunFinished(mode, failed); };
    FillInputList();
}

std::vector<CFindRepPreview>& CBatchTextConversionDlg::Rows() { return m_data->m_LibraryList.Previews; }

void CBatchTextConversionDlg::ShowWindow() {
    g_bBatchShown = true;
    show();
    if (!m_columnsSized) {
        // The columns take their shares of the lists' widths once the window has its size.
        m_columnsSized = true;
        const int in = m_inputs->viewport()->width();
        m_inputs->setColumnWidth(0, in * 60 / 100);
        m_inputs->setColumnWidth(1, in * 32 / 100);
        const int w = m_instances->viewport()->width();
        const int shares[] = {25, 20, 22, 26};
        for (int c = 0; c < 4; ++c) m_instances->setColumnWidth(c, w * shares[c] / 100);
    }
    raise();
    activateWindow();
}

void CBatchTextConversionDlg::SetPreviewLayout(bool preview) {
    m_bPreview = preview;
    m_previewButton->setChecked(preview);
    setWindowTitle(preview ? "Batch Text Conversion (Preview)" : "Batch Text Conversion");
    findChild<QPushButton*>("1348")->setVisible(!preview);
    for (const char* id : {"1795", "1796", "1792", "1806"}) findChild<QPushButton*>(id)->setVisible(preview);
    m_skip->setVisible(preview);
    m_sourceTable->setVisible(preview);
    m_instances->setVisible(preview);
    m_hint->setText(preview ? "Use GREEN button to find text in files"
                            : "Use YELLOW button to set up your library for the conversion process.");
}

std::vector<int> CBatchTextConversionDlg::SelectedInputs() const {
    std::vector<int> rows;
    for (int i = 0; i < m_inputs->topLevelItemCount(); ++i)
        if (m_inputs->topLevelItem(i)->isSelected()) rows.push_back(i);
    return rows;
}

std::vector<int> CBatchTextConversionDlg::SelectedInstances() const {
    std::vector<int> rows;
    for (const QModelIndex& i : m_instances->selectionModel()->selectedRows()) rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CBatchTextConversionDlg::AddRowItem(const CFindRepPreview& p) {
    auto* it = new QTreeWidgetItem({Q(GetFileNameFromPath(p.InputName)), Q(p.OutputName)});
    it->setIcon(0, ImageIcon(14));
    it->setData(0, Qt::UserRole, 14);
    m_inputs->addTopLevelItem(it);
}

void CBatchTextConversionDlg::FillInputList() {
    m_inputs->clear();
    m_model->ShowRow(-1);
    for (CFindRepPreview& p : Rows()) {
        AddRowItem(p);
        m_inputs->topLevelItem(m_inputs->topLevelItemCount() - 1)->setSelected(true);
    }
}

void CBatchTextConversionDlg::RefreshOutputColumn() {
    for (int i = 0; i < m_inputs->topLevelItemCount() && i < int(Rows().size()); ++i)
        m_inputs->topLevelItem(i)->setText(1, Q(Rows()[i].OutputName));
}

void CBatchTextConversionDlg::AddItems(const std::vector<CFileItem>& items, bool report) {
    std::string lines[3];
    int counts[3] = {0, 0, 0};  // remote, already present, not found
    for (const CFileItem& item : items) {
        const std::string path = item.GetLocalPath();
        int category = -1;
        if (item.FileType == "remote" && item.IsFTPed == "No") category = 0;
        else if (!QFileInfo::exists(Q(path))) category = 2;
        else if (std::any_of(Rows().begin(), Rows().end(), [&](const CFindRepPreview& p) { return p.InputName == path; }))
            category = 1;
        if (category >= 0) {
            if (++counts[category] <= 5) lines[category] += "    " + path + "\r\n";
            continue;
        }
        CFindRepPreview p;
        p.InputName = path;
        p.Mode = "O";
        Rows().push_back(p);
        AddRowItem(p);
        m_inputs->topLevelItem(m_inputs->topLevelItemCount() - 1)->setSelected(true);
    }
    if (!report) return;
    static const char* names[3] = {"Remote files, and never ftped", "Already present in the list",
                                   "Not found in the local system"};
    std::string text;
    for (int c : {0, 1, 2}) {
        if (!counts[c]) continue;
        text += std::string("Some of the files could not be added to Input list. ") + names[c] + ":\r\n" + lines[c];
        if (counts[c] >= 5) text += "<and more>...\r\n\r\n";
    }
    if (!text.empty()) Prompter().Message(text, MsgIcon::Warning);
}

void CBatchTextConversionDlg::LoadSelectedFileItems() {
    if (selectedFileItems) AddItems(selectedFileItems(), true);
}

bool CBatchTextConversionDlg::ValidateListNotEmpty() {
    if (Rows().empty() && basketFileItems) AddItems(basketFileItems(), false);
    if (!Rows().empty()) return true;
    Prompter().Message("The list must contain filenames that you want to process. Empty list.", MsgIcon::Warning);
    return false;
}

bool CBatchTextConversionDlg::HasSelectedInputs() {
    if (!SelectedInputs().empty()) return true;
    Prompter().Message("No Input files selected.", MsgIcon::Warning);
    return false;
}

void CBatchTextConversionDlg::SetOutputNames(int scheme, const std::string& text) {
    const auto sel = SelectedInputs();
    if (sel.empty()) return;
    ::SetOutputNames(Rows(), sel, scheme, text, m_outputNames->Flags(), outputWindowText ? outputWindowText() : "");
    RefreshOutputColumn();
}

void CBatchTextConversionDlg::ApplyCustomNaming(int base, const std::string& prefix, const std::string& suffix,
                                                const std::string& ext) {
    const auto sel = SelectedInputs();
    if (sel.empty()) return;
    ::ApplyCustomNaming(Rows(), sel, base, prefix, suffix, ext, m_outputNames->Flags(),
                        outputWindowText ? outputWindowText() : "");
    RefreshOutputColumn();
}

void CBatchTextConversionDlg::OnDelInput() {
    if (m_runner->IsRunning()) return;  // the rows belong to the run until it ends
    const auto sel = SelectedInputs();
    if (sel.empty()) return;
    for (auto it = sel.rbegin(); it != sel.rend(); ++it) {
        Rows().erase(Rows().begin() + *it);
        delete m_inputs->takeTopLevelItem(*it);
    }
    m_nCurRow = -1;
    m_model->ShowRow(-1);
    const int count = m_inputs->topLevelItemCount();
    if (!count) return;
    const int next = std::min(sel.back() - int(sel.size()) + 1, count - 1);
    m_inputs->topLevelItem(next)->setSelected(true);
    ShowCurrentRow(next);
}

void CBatchTextConversionDlg::OnDelOutput() { SetOutputNames(3, ""); }

bool CBatchTextConversionDlg::BuildInputContextMenu(QMenu& menu) {
    if (SelectedInputs().empty()) return false;
    menu.setObjectName("129");
    struct Entry {
        int id;
        const char* text;
    };
    static const Entry entries[] = {{32542, "Open in text editor"}, {0, nullptr},
                                    {32543, "Remove"},              {32541, "Clear Output name"},
                                    {32545, "Specify Output name"}, {32544, "Select All"}};
    for (const Entry& e : entries) {
        if (!e.text) {
            menu.addSeparator();
            continue;
        }
        QAction* a = menu.addAction(e.text);
        a->setObjectName(QString::number(e.id));
        a->setEnabled(bool(onCommand));
        const int id = e.id;
        connect(a, &QAction::triggered, this, [this, id] {
            if (onCommand) onCommand(id);
        });
    }
    return true;
}

void CBatchTextConversionDlg::ShowInputContextMenu(const QPoint& global) {
    QMenu menu(this);
    if (!BuildInputContextMenu(menu)) return;
    menu.exec(global);
}

void CBatchTextConversionDlg::SelectAllInputFiles() { m_inputs->selectAll(); }

void CBatchTextConversionDlg::SpecifyOutputName() {
    const auto sel = SelectedInputs();
    if (sel.empty()) return;
    // The prompt's file picker starts in the folder of the first selected input.
    const std::string& input = Rows()[sel[0]].InputName;
    const std::size_t slash = input.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : input.substr(0, slash + 1);
    // The output file may be new: the picker takes a name that is not there yet.
    CTextPromptDlg prompt("Select File", "Enter name of the output file", Q(Rows()[sel[0]].OutputName), 0, true, 4,
                          Q(folder), this);
    if (RunDialogModal(prompt) != QDialog::Accepted) return;
    const std::string name = prompt.TextBytes();
    for (int r : sel) Rows()[r].OutputName = name;
    RefreshOutputColumn();
}

void CBatchTextConversionDlg::OpenInputInEditor() {
    // Text files go to the editor, others to the desktop's viewer for their
    // type; either gets the path as its one argument: no shell reads it, and
    // the file itself is never run.
    for (int r : SelectedInputs()) OpenWithAssociation(Rows()[r].InputName, g_strEditor, g_strTxtOpnStr);
}

bool CBatchTextConversionDlg::Validate(bool convertRun) {
    const BatchCheck c = ValidateListForConversion(Rows(), convertRun);
    RefreshOutputColumn();
    if (!c.refusal.empty()) {
        Prompter().Message(c.refusal, MsgIcon::Stop);
        return false;
    }
    if (!c.question.empty() && Prompter().AskDefaultNo(c.question, MsgIcon::Question) != Answer::Yes) return false;
    return true;
}

static bool BusyRefusal(const CBatchRunner& r) {
    if (!r.IsRunning() && g_bBatchIdle) return false;
    Prompter().Message("One batch conversion session is already on.", MsgIcon::Stop);
    return true;
}

bool CBatchTextConversionDlg::OnConvertListedFiles() {
    if (!Validate(true)) return false;
    if (BusyRefusal(*m_runner)) return false;
    m_startMs = QDateTime::currentMSecsSinceEpoch();
    if (!m_runner->Start(BatchMode::Convert)) return false;
    m_ticker->start();
    return true;
}

bool CBatchTextConversionDlg::OnCreateFindRepInstances() {
    if (BusyRefusal(*m_runner)) return false;
    if (!ValidateListNotEmpty()) return false;
    m_inputs->clearSelection();
    m_nCurRow = -1;
    m_model->ShowRow(-1);
    m_startMs = QDateTime::currentMSecsSinceEpoch();
    if (!m_runner->Start(BatchMode::Instances)) return false;
    m_ticker->start();
    return true;
}

bool CBatchTextConversionDlg::OnCommitWriting() {
    if (!m_runner->previewReady) {
        Prompter().Message("You must create Find-Rep instances before you can commence writing.\r\n\r\n"
                           "If you are sure that you want to commit writing without Preview, \r\n"
                           "choose utilities under \"Convert files\" tab.",
                           MsgIcon::Stop);
        return false;
    }
    if (!Validate(false)) return false;
    if (BusyRefusal(*m_runner)) return false;
    if (CConversionEngine(m_data->m_LibraryList).FormatModifiedFilesReport().empty()) {
        Prompter().Message("There is no instance in memory from last Preview operation.", MsgIcon::None);
        return false;
    }
    m_startMs = QDateTime::currentMSecsSinceEpoch();
    if (!m_runner->Start(BatchMode::Commit)) return false;
    m_ticker->start();
    return true;
}

void CBatchTextConversionDlg::OnStop() { m_runner->Stop(); }

void CBatchTextConversionDlg::OnReset() {
    OnStop();
    if (m_runner->IsRunning()) return;  // the rows come back when the run ends
    for (CFindRepPreview& p : Rows()) {
        p.Instances.clear();
        p.StepTexts.clear();
    }
    m_runner->previewReady = false;
    m_hint->setText("All cleared...");
    FillInputList();
    m_nCurRow = -1;
}

void CBatchTextConversionDlg::RunFinished(BatchMode mode, int failed) {
    m_ticker->stop();
    m_status->setText(Q(FormatElapsed(QDateTime::currentMSecsSinceEpoch() - m_startMs)));
    if (mode == BatchMode::Instances) {
        for (int i = 0; i < m_inputs->topLevelItemCount() && i < int(Rows().size()); ++i)
            SetInputRowImage(i, Rows()[i].Instances.empty() ? 14 : 15);
    }
    if (mode == BatchMode::Commit) {
        for (int i = 0; i < m_inputs->topLevelItemCount(); ++i) SetInputRowImage(i, 14);
        if (!m_runner->skippedReport.empty())
            Prompter().Message("These files were not written:\r\n" + m_runner->skippedReport, MsgIcon::Warning);
    }
    if (!m_runner->errorReport.empty()) Prompter().Message(m_runner->errorReport, MsgIcon::Stop);
    (void)failed;
    ShowCurrentRow(m_inputs->topLevelItemCount() - 1);
}

void CBatchTextConversionDlg::SelectListItem(int row) {
    if (row < 0 || row >= m_inputs->topLevelItemCount()) return;
    m_model->ShowRow(-1);
    const int prev = row == 0 ? m_inputs->topLevelItemCount() - 1 : row - 1;
    m_inputs->topLevelItem(prev)->setSelected(false);
    m_inputs->topLevelItem(row)->setSelected(true);
    m_inputs->scrollToItem(m_inputs->topLevelItem(row));
    NoInstanceState();
}

void CBatchTextConversionDlg::SetInputRowImage(int row, int image) {
    if (row < 0 || row >= m_inputs->topLevelItemCount()) return;
    const int img = image == 15 || (image != 14 && image != 0) ? 15 : 14;
    m_inputs->topLevelItem(row)->setIcon(0, ImageIcon(img));
    m_inputs->topLevelItem(row)->setData(0, Qt::UserRole, img);
}

void CBatchTextConversionDlg::NoInstanceState() {
    m_hint->setText("No instance found for selected file.");
    m_preview->ShowTexts("", "");
    m_skip->setChecked(false);
}

void CBatchTextConversionDlg::ShowCurrentRow(int row) {
    m_nCurRow = row;
    m_model->ShowRow(row);
    if (m_model->rowCount() > 0) {
        m_instances->selectRow(0);
        ShowInstance(0);
    } else {
        m_preview->ShowTexts("", "");
        m_skip->setChecked(false);
    }
}

void CBatchTextConversionDlg::ShowInstance(int j) {
    CFindRepInstance inst;
    if (!m_data->m_LibraryList.GetPreviewInstance(m_nCurRow, j, inst)) return;
    m_hint->setText(Q(DescribeInstance(inst, m_runner->useCurrentMacro, CurrentMacro,
                                       selectedLibraryName ? selectedLibraryName() : std::string())));
    m_preview->ShowTexts(inst.FindText, inst.RepText);
    m_skip->setChecked(inst.Skip);
    m_model->RefreshInstance(j);
}

void CBatchTextConversionDlg::OnInstanceClicked(bool jump) {
    const auto rows = SelectedInputs();
    const auto inst = SelectedInstances();
    if (rows.empty() || inst.empty()) return;
    m_nCurRow = rows[0];
    if (jump && m_nCurRow >= int(Rows().size())) {
        Prompter().Message("what?", MsgIcon::None);
        return;
    }
    CFindRepInstance i;
    if (!m_data->m_LibraryList.GetPreviewInstance(m_nCurRow, inst[0], i)) return;
    if (!jump) {
        ShowInstance(inst[0]);
        if (!g_bFindReplacePreviewShown) {
            m_preview->ShowWindow();
            // Not behind this window, where its buttons would be out of reach.
            PlaceClearOf(m_preview, this);
        }
        // The instance asked for is shown in front, also when a click in this
        // window has covered the preview since.
        m_preview->raise();
        return;
    }
    const CFindRepPreview& rec = Rows()[m_nCurRow];
    std::string source;
    if (i.StepNo == 0) {
        if (rec.StepTexts.empty()) return;
        source = rec.StepTexts[0];
    } else {
        if (!rec.KeepSteps) {
            Prompter().Message("Source access table not built.\r\n"
                               "You need to have \"Build source access table\" checked before Preview instances are built.\r\n"
                               "Otherwise, information on FIRST ACTIVE macro  only is available.",
                               MsgIcon::None);
            return;
        }
        if (i.StepNo >= int(rec.StepTexts.size())) return;
        source = rec.StepTexts[i.StepNo];
    }
    if (onJumpToSource) onJumpToSource(source, i.LineNo, i.Start, i.End);
}

void CBatchTextConversionDlg::OnSkipInstance() {
    if (Rows().empty() || m_model->rowCount() == 0) {
        Prompter().Message("No instances found or selected in right list box.", MsgIcon::None);
        m_skip->setChecked(false);
        return;
    }
    const auto rows = SelectedInputs();
    if (rows.empty()) {
        Prompter().Message("No file-items selected in lower left list box.", MsgIcon::None);
        m_skip->setChecked(false);
        return;
    }
    m_nCurRow = rows[0];
    const auto sel = SelectedInstances();
    if (sel.empty()) {
        Prompter().Message("No instances selected in right list box.", MsgIcon::None);
        m_skip->setChecked(false);
        return;
    }
    CLibraryList& libs = m_data->m_LibraryList;
    for (int j : sel) {
        unsigned char flag = 0;
        if (!libs.GetInstanceSkip(m_nCurRow, j, flag)) continue;
        libs.SetInstanceSkip(m_nCurRow, j, flag ? 0 : 1);
        m_skip->setChecked(!flag);
        m_model->RefreshInstance(j);
    }
}

void CBatchTextConversionDlg::OnSaveChanges() {
    if (Rows().empty() || m_model->rowCount() == 0) {
        Prompter().Message("No instances found or selected in right list box.", MsgIcon::None);
        return;
    }
    const auto rows = SelectedInputs();
    if (rows.empty()) {
        Prompter().Message("No file-items selected in left list box.", MsgIcon::None);
        return;
    }
    m_nCurRow = rows[0];
    const auto sel = SelectedInstances();
    if (sel.empty()) {
        Prompter().Message("No instances selected in right list box.", MsgIcon::None);
        return;
    }
    CFindRepInstance inst;
    if (!m_data->m_LibraryList.GetPreviewInstance(m_nCurRow, sel[0], inst)) return;
    const std::string text = m_preview->Replacement();
    if (inst.RepText == text) {
        Prompter().Message("No change found in replace string for this instance.\r\n"
                           "You may choose to modify the replace string and then hit \"Save changes\" button.\r\n"
                           "Operation ignored.",
                           MsgIcon::None);
        return;
    }
    if (m_data->m_LibraryList.SaveInstance(m_nCurRow, sel[0], text)) m_model->RefreshInstance(sel[0]);
}

bool CBatchTextConversionDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_inputs && event->type() == QEvent::KeyPress) {
        auto* e = static_cast<QKeyEvent*>(event);
        if (e->key() == Qt::Key_Delete) {
            OnDelInput();
            return true;
        }
        if ((e->key() == Qt::Key_Up || e->key() == Qt::Key_Down) && !m_runner->IsRunning()) {
            const auto sel = SelectedInputs();
            const int from = sel.empty() ? -1 : sel[0];
            const int to = from + (e->key() == Qt::Key_Up ? -1 : 1);
            if (from < 0 || to < 0 || to >= m_inputs->topLevelItemCount()) return true;
            m_inputs->clearSelection();
            m_inputs->topLevelItem(to)->setSelected(true);
            m_inputs->setCurrentItem(m_inputs->topLevelItem(to), 0, QItemSelectionModel::NoUpdate);
            ShowCurrentRow(to);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CBatchTextConversionDlg::accept() { reject(); }

void CBatchTextConversionDlg::reject() {
    g_bBatchShown = g_bOutputFilenamesShown = g_bFindReplacePreviewShown = false;
    hide();
    m_outputNames->hide();
    m_preview->hide();
}

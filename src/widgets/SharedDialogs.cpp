#include "widgets/SharedDialogs.h"

#include <algorithm>
#include <cmath>

#include <QGuiApplication>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTextLayout>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "widgets/DialogRules.h"
#include "widgets/Icons.h"
#include "widgets/ScreenFit.h"
#include "model/ProgramData.h"
#include "model/Trace.h"
#include "platform/Prompter.h"

CProgramData* g_pProgramData = nullptr;

namespace {
// The widest text area of a message text of several lines, in pixels.
constexpr int kMaxWidth = 800;
// Room left for the window manager's borders and title bar before a window
// shows with them.
constexpr int kFrameBorder = 8, kFrameTitle = 32;

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
std::string S(const QString& s) {
    QByteArray b = s.toUtf8();
    return std::string(b.constData(), std::size_t(b.size()));
}
}  // namespace

// ---------------------------------------------------------------------------

CMessageBox::CMessageBox(Icon icon, const QString& title, const QString& text, StandardButtons buttons,
                         QWidget* parent)
    : QMessageBox(icon, title, text, buttons, parent) {
    // The text shows in a label of its own in a scroll area, where the base
    // box has its label (which stays, hidden, holding the text).
    m_area = new QScrollArea(this);
    m_area->setObjectName("qvl_msgbox_text");
    m_area->setFrameShape(QFrame::NoFrame);
    m_area->setWidgetResizable(true);
    m_area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_area->setFocusPolicy(Qt::NoFocus);
    m_area->viewport()->setAutoFillBackground(false);
    m_text = new QLabel;
    m_area->setWidget(m_text);
    m_text->setAutoFillBackground(false);
    if (auto* label = findChild<QLabel*>("qt_msgbox_label", Qt::FindDirectChildrenOnly)) label->hide();
    FitText();
}

bool CMessageBox::event(QEvent* e) {
    const bool done = QMessageBox::event(e);
    // The base box takes its size again on every layout request, within
    // limits of its own that leave long lines wrapped and the box taller
    // than the screen.
    if (e->type() == QEvent::LayoutRequest && isVisible()) FitText();
    return done;
}

void CMessageBox::showEvent(QShowEvent* e) {
    // Laid out before the base box takes its size and its place from the
    // layout, and once more after, where its own limit made it narrower.
    FitText();
    QMessageBox::showEvent(e);
    const QRect placed = geometry();
    FitText();
    if (size() == placed.size()) return;
    move(placed.center() - QPoint(width() / 2, height() / 2));
    FitOnScreen(this);
}

void CMessageBox::keyPressEvent(QKeyEvent* e) {
    if ((e->key() == Qt::Key_PageDown || e->key() == Qt::Key_PageUp) && e->modifiers() == Qt::NoModifier) {
        QScrollBar* bar = m_area->verticalScrollBar();
        bar->triggerAction(e->key() == Qt::Key_PageDown ? QAbstractSlider::SliderPageStepAdd
                                                        : QAbstractSlider::SliderPageStepSub);
        return;
    }
    QMessageBox::keyPressEvent(e);
}

void CMessageBox::FitText() {
    if (m_fitting) return;
    m_fitting = true;
    struct Done {
        bool& fitting;
        ~Done() { fitting = false; }
    } done{m_fitting};
    auto* grid = qobject_cast<QGridLayout*>(layout());
    auto* label = findChild<QLabel*>("qt_msgbox_label", Qt::FindDirectChildrenOnly);
    if (!grid || !label) return;
    const int at = grid->indexOf(label);
    if (at < 0) return;
    // In the base box's label's place, also once it laid itself out anew.
    if (grid->indexOf(m_area) < 0) {
        int row = 0, column = 0, rows = 1, columns = 1;
        grid->getItemPosition(at, &row, &column, &rows, &columns);
        grid->addWidget(m_area, row, column, rows, columns);
        if (isVisible()) m_area->show();
    }
    m_text->setTextFormat(label->textFormat());
    m_text->setTextInteractionFlags(label->textInteractionFlags());
    m_text->setOpenExternalLinks(label->openExternalLinks());
    m_text->setAlignment(label->alignment());
    m_text->setContentsMargins(label->contentsMargins());
    m_text->setMargin(label->margin());
    m_text->setIndent(label->indent());
    m_text->setText(label->text());
    m_text->setWordWrap(false);

    // The room the screen leaves inside the window manager's frame.
    QScreen* screen = this->screen();
    if (const QWidget* p = parentWidget(); p && p->window()->isVisible()) screen = p->window()->screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    QMargins frame = FrameMargins(this);
    if (frame.isNull()) frame = QMargins(kFrameBorder, kFrameTitle, kFrameBorder, kFrameBorder);
    const QRect avail = screen->availableGeometry();
    const QSize room(avail.width() - frame.left() - frame.right(), avail.height() - frame.top() - frame.bottom());

    // The box around the text in its lines as they stand; what the icon,
    // the margins and the buttons take beside and below it.
    const QSize natural = m_text->sizeHint();
    m_area->setFixedSize(natural);
    grid->invalidate();
    const QSize whole = grid->totalMinimumSize();
    const int besideWidth = whole.width() - natural.width(), belowHeight = whole.height() - natural.height();
    const int leastWidth = 20 * fontMetrics().averageCharWidth();
    // Lines wider than the screen wrap at its width, none sooner.
    int textWidth = natural.width(), textHeight = natural.height();
    if (whole.width() > room.width()) {
        textWidth = std::max(room.width() - besideWidth, leastWidth);
        m_text->setWordWrap(true);
        textHeight = m_text->heightForWidth(textWidth);
    }
    // A text taller than the screen scrolls, the buttons below it; the
    // scroll bar goes beside the text where the screen has the room.
    QSize area(textWidth, textHeight);
    if (belowHeight + textHeight > room.height()) {
        const int bar = m_area->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_area->verticalScrollBar());
        area.setHeight(std::max(room.height() - belowHeight, 3 * fontMetrics().lineSpacing()));
        if (besideWidth + textWidth + bar <= room.width()) {
            area.setWidth(textWidth + bar);
        } else {
            m_text->setWordWrap(true);
            area.setWidth(std::max(room.width() - besideWidth, leastWidth + bar));
        }
        m_area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    } else {
        m_area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    m_area->setFixedSize(area);
    grid->invalidate();
    setFixedSize(grid->totalMinimumSize());
    QCoreApplication::removePostedEvents(this, QEvent::LayoutRequest);
}

// ---------------------------------------------------------------------------

std::function<std::optional<std::string>(int)> CTextPromptDlg::s_remoteFolderChooser;
std::function<QString(int)> CTextPromptDlg::s_pickerOverride;

QString BrowseForFile(const QString& title, const QString& initialFolder, QWidget* parent) {
    if (CTextPromptDlg::s_pickerOverride) return CTextPromptDlg::s_pickerOverride(3);
    return QFileDialog::getOpenFileName(parent, title, initialFolder, QString(), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

QString BrowseForFileToWrite(const QString& title, const QString& initialFolder, QWidget* parent) {
    if (CTextPromptDlg::s_pickerOverride) return CTextPromptDlg::s_pickerOverride(4);
    return QFileDialog::getSaveFileName(parent, title, initialFolder, QString(), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

CTextPromptDlg::CTextPromptDlg(const QString& title, const QString& prompt, QWidget* parent)
    : QDialog(parent), m_title(title), m_prompt(prompt) {
    Build();
}

CTextPromptDlg::CTextPromptDlg(const QString& title, const QString& prompt, bool showBrowse,
                               QWidget* parent)
    : QDialog(parent), m_title(title), m_prompt(prompt), m_showBrowse(showBrowse) {
    Build();
}

CTextPromptDlg::CTextPromptDlg(const QString& title, const QString& prompt, const QString& initial,
                               QWidget* parent)
    : QDialog(parent), m_title(title), m_prompt(prompt), m_text(initial) {
    Build();
}

CTextPromptDlg::CTextPromptDlg(const QString& title, const QString& prompt, const QString& initial,
                               int browseArg, bool showBrowse, int browseMode,
                               const QString& initialFolder, QWidget* parent)
    : QDialog(parent),
      m_title(title),
      m_prompt(prompt),
      m_text(initial),
      m_initialFolder(initialFolder),
      m_browseArg(browseArg),
      m_showBrowse(showBrowse),
      m_browseMode(browseMode) {
    Build();
}

void CTextPromptDlg::Build() {
    setObjectName("2008");
    setWindowTitle(m_title);
    auto* v = new QVBoxLayout(this);
    m_label = new QLabel(m_prompt, this);
    m_label->setObjectName("1903");
    v->addWidget(m_label);
    auto* row = new QHBoxLayout;
    m_edit = new QLineEdit(m_text, this);
    m_edit->setObjectName("1622");
    m_edit->setMinimumWidth(320);
    row->addWidget(m_edit);
    m_browse = new QPushButton("...", this);
    m_browse->setObjectName("1841");
    m_browse->setAutoDefault(false);
    m_browse->setVisible(m_showBrowse);
    row->addWidget(m_browse);
    v->addLayout(row);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    box->button(QDialogButtonBox::Ok)->setObjectName("1");
    box->button(QDialogButtonBox::Cancel)->setObjectName("2");
    v->addWidget(box);
    connect(box, &QDialogButtonBox::accepted, this, &CTextPromptDlg::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_browse, &QPushButton::clicked, this, &CTextPromptDlg::OnBrowse);
    connect(m_edit, &QLineEdit::textChanged, this, [this](const QString& t) { m_text = t; });
}

std::string CTextPromptDlg::TextBytes() const { return S(m_text); }

void CTextPromptDlg::OnBrowse() {
    QString result;
    if (s_pickerOverride && m_browseMode != 1) {
        result = s_pickerOverride(m_browseMode);
    } else if (m_browseMode == 1) {
        // The remote folder chooser of the program data: the browser on the
        // current connection, listing folders only.
        if (s_remoteFolderChooser) {
            if (auto r = s_remoteFolderChooser(m_browseArg)) result = Q(*r);
        } else if (g_pProgramData) {
            result = Q(g_pProgramData->BrowseRemoteFolder());
        }
    } else if (m_browseMode == 2) {
        result = QFileDialog::getExistingDirectory(this, m_title, m_initialFolder);
    } else if (m_browseMode == 3) {
        result = BrowseForFile(m_title, m_initialFolder, this);
    } else if (m_browseMode == 4) {
        result = BrowseForFileToWrite(m_title, m_initialFolder, this);
    }
    if (!result.isEmpty()) m_edit->setText(result);
}

void CTextPromptDlg::accept() {
    auto t = NormalisePromptText(S(m_edit->text()), m_browseMode, m_showBrowse);
    if (!t) return;
    m_text = Q(*t);
    m_edit->setText(m_text);
    QDialog::accept();
}

std::optional<std::string> CTextPromptDlg::Ask(const std::string& title, const std::string& prompt,
                                               const std::string& initial, QWidget* parent) {
    // Through the prompter, so tests and the batch road answer without a window.
    return Prompter().AskText(title, prompt, initial);
}

// ---------------------------------------------------------------------------

SelectSpec BuildSelectSpec(int kind, const CProgramData& data) {
    SelectSpec layout;
    const int p = data.GetCurProject(), s = data.GetCurSession(), b = data.GetCurBasket();
    switch (kind) {
        case 0:
            layout.columns = {{"Find Rep Libraries", -16}};
            layout.iconSet = "lib";
            for (const auto& n : data.m_LibraryList.GetLibNames()) layout.rows.push_back({{n}, 4});
            break;
        case 1:
            layout.columns = {{"Key Lookup Libraries", -16}};
            layout.iconSet = "lib";
            break;
        case 2:
            layout.columns = {{"Files", -72}, {"Hosts", 56.0 / 360.0}};
            layout.iconSet = "file";
            for (const auto& it : data.GetBasketItems(p, s, b))
                layout.rows.push_back({{it.FileName, GetShortHostName(it.RemHost)}, it.GetImageIndex()});
            break;
        case 3:
            layout.columns = {{"Baskets", 0.85}};
            layout.iconSet = "basket";
            for (const auto& n : data.GetBasketNames(p, s)) layout.rows.push_back({{n}, 0});
            break;
        case 4:
            layout.columns = {{"ID", 0.1}, {"Session Box", 0.4}, {"Session Name", 0.5}};
            for (const auto& e : data.ListSessionsForChooser())
                layout.rows.push_back({{e.number, e.project, e.session}, -1});
            break;
        default: break;
    }
    return layout;
}

CSelectDlg::CSelectDlg(int kind, const CProgramData* data, int, int, QWidget* parent)
    : QDialog(parent), m_kind(kind) {
    Build(data ? BuildSelectSpec(kind, *data) : SelectSpec{});
}

CSelectDlg::CSelectDlg(int kind, SelectSpec layout, QWidget* parent) : QDialog(parent), m_kind(kind) {
    Build(layout);
}

CSelectDlg::CSelectDlg(std::vector<std::string>* folders, QWidget* parent)
    : QDialog(parent), m_kind(5), m_folders(folders) {
    SelectSpec layout;
    layout.columns = {{"Saved Locations", -16}};
    layout.iconSet = "lib";
    if (folders)
        for (const auto& f : *folders) {
            std::string shown = f;
            while (shown.size() > 1 && shown.back() == '/') shown.pop_back();
            layout.rows.push_back({{GetPathTail(shown, '/')}, 5});
        }
    Build(layout);
}

void CSelectDlg::Build(const SelectSpec& layout) {
    setObjectName("2045");
    setWindowTitle("Select");
    auto* v = new QVBoxLayout(this);
    v->addWidget(new QLabel("Select list items:", this));
    m_list = new QTreeWidget(this);
    m_list->setObjectName("1731");
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setColumnCount(int(layout.columns.size()));
    QStringList headers;
    for (const auto& c : layout.columns) headers << Q(c.first);
    m_list->setHeaderLabels(headers);
    m_list->setMinimumSize(360, 240);
    const int w = 360;
    for (std::size_t i = 0; i < layout.columns.size(); ++i) {
        double share = layout.columns[i].second;
        m_list->setColumnWidth(int(i), share < 0 ? int(w + share) : int(w * share));
    }
    QList<QTreeWidgetItem*> items;
    for (const auto& r : layout.rows) {
        QStringList cells;
        for (const auto& c : r.cells) cells << Q(c);
        auto* it = new QTreeWidgetItem(cells);
        if (r.image >= 0 && !layout.iconSet.empty()) it->setIcon(0, ListIcon(layout.iconSet, r.image));
        items << it;
    }
    m_list->addTopLevelItems(items);
    v->addWidget(m_list);
    auto* row = new QHBoxLayout;
    auto* all = new QPushButton("Select all", this);
    all->setObjectName("1588");
    m_delete = new QPushButton("Delete", this);
    m_delete->setObjectName("1589");
    m_delete->setVisible(m_kind == 5);
    row->addWidget(all);
    row->addWidget(m_delete);
    row->addStretch();
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    box->button(QDialogButtonBox::Ok)->setObjectName("1");
    box->button(QDialogButtonBox::Cancel)->setObjectName("2");
    row->addWidget(box);
    v->addLayout(row);
    connect(box, &QDialogButtonBox::accepted, this, &CSelectDlg::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(all, &QPushButton::clicked, this, &CSelectDlg::OnSelectAll);
    connect(m_delete, &QPushButton::clicked, this, &CSelectDlg::OnDelete);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &CSelectDlg::SyncSelection);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] { accept(); });
}

void CSelectDlg::SyncSelection() {
    m_selected.clear();
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        if (m_list->topLevelItem(i)->isSelected()) m_selected.push_back(i);
}

void CSelectDlg::OnSelectAll() {
    m_list->selectAll();
    SyncSelection();
}

std::vector<std::string> CSelectDlg::ChosenFolders() const {
    std::vector<std::string> out;
    if (!m_folders) return out;
    for (int i : m_selected)
        if (i < int(m_folders->size())) out.push_back((*m_folders)[std::size_t(i)]);
    return out;
}

void CSelectDlg::accept() {
    SyncSelection();
    QDialog::accept();
}

void CSelectDlg::keyPressEvent(QKeyEvent* e) {
    if (e->matches(QKeySequence::SelectAll)) {
        OnSelectAll();
        return;
    }
    if (e->key() == Qt::Key_Delete && m_kind == 5) {
        OnDelete();
        return;
    }
    QDialog::keyPressEvent(e);
}

void CSelectDlg::OnDelete() {
    if (m_kind != 5 || !m_folders) return;
    SyncSelection();
    if (m_selected.empty()) return;
    const Answer a = Prompter().AskDefaultNo(
        "Are you sure you want to delete the selected directories?\r\n\r\n"
        "This will physically delete the directories and their contents from hard-disk.\r\n"
        "Select No, if you are not sure.",
        MsgIcon::Stop);
    if (a != Answer::Yes) return;
    int last = -1;
    // From the highest row down, so the indices stay valid.
    for (auto it = m_selected.rbegin(); it != m_selected.rend(); ++it) {
        const int row = *it;
        if (row >= int(m_folders->size())) continue;
        const std::string path = (*m_folders)[std::size_t(row)];
        std::string why;
        if (!DeleteFolderTree(path, &why)) {
            WriteTrace("-?- Not deleted: " + path + " (" + why + ")");
            Prompter().Message("Cannot delete the folder:\r\n" + path + "\r\n" + why, MsgIcon::Stop);
            continue;
        }
        m_folders->erase(m_folders->begin() + row);
        delete m_list->takeTopLevelItem(row);
        last = row;
    }
    m_list->clearSelection();
    if (last >= 0 && m_list->topLevelItemCount() > 0) {
        int pick = std::min(last, m_list->topLevelItemCount() - 1);
        m_list->topLevelItem(pick)->setSelected(true);
    }
    SyncSelection();
}

// ---------------------------------------------------------------------------

CMessageTextDlg::CMessageTextDlg(const QString& text, int x, int y, QWidget* parent) : QDialog(parent) {
    setObjectName("2047");
    setWindowTitle(QApplication::applicationName());
    auto* h = new QHBoxLayout(this);
    h->setSpacing(8);
    auto* ok = new QPushButton(this);
    ok->setObjectName("1");
    ok->setIcon(style()->standardIcon(QStyle::SP_MessageBoxInformation));
    ok->setIconSize(QSize(32, 32));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    m_textBox = new QPlainTextEdit(text, this);
    m_textBox->setObjectName("1661");
    m_textBox->setReadOnly(true);
    // Lines too long for the box wrap, at a blank where they have one.
    m_textBox->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_textBox->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    h->addWidget(ok, 0, Qt::AlignTop);
    h->addWidget(m_textBox);

    // What the screen leaves for the text box: the window manager's frame,
    // the layout's margins and the button come off.
    const QScreen* screen = QGuiApplication::screenAt(QPoint(x, y));
    if (!screen) screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QMargins m = h->contentsMargins();
    const int roomWidth = avail.width() - 2 * kFrameBorder - m.left() - m.right() - h->spacing() -
                          ok->sizeHint().width();
    const int roomHeight = avail.height() - kFrameTitle - kFrameBorder - m.top() - m.bottom();

    // Sized so that every line shows whole: the box's own font gives the
    // line height and the widths, its frame and the document the margins.
    // The rough size from the text's length is the least it takes; a text of
    // several lines is at most the maximum width wide, and no box is wider
    // than the screen. Lines that do not fit then take more rows.
    const MessageTextSize sz = MessageTextLayout(S(text), kMaxWidth);
    const QFont font = m_textBox->font();
    const QFontMetrics fm(font);
    const QStringList lines = QString(text).remove('\r').split('\n');
    int longest = 0;
    for (const QString& line : lines) longest = std::max(longest, fm.horizontalAdvance(line));
    const int frame = 2 * m_textBox->frameWidth();
    const int margins = frame + 2 * int(std::ceil(m_textBox->document()->documentMargin()));
    int width = std::max(sz.width + 5, longest + margins + fm.averageCharWidth());
    if (lines.size() > 1) width = std::min(width, kMaxWidth + 5);
    width = std::min(width, roomWidth);
    // The rows the lines take at that width, laid out as the box lays them
    // out (a pixel to spare for the cursor).
    QTextOption wrap;
    wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    const qreal lineWidth = width - margins - 1;
    int rows = 0;
    for (const QString& line : lines) {
        QTextLayout layout(line, font);
        layout.setTextOption(wrap);
        layout.beginLayout();
        int taken = 0;
        for (QTextLine l = layout.createLine(); l.isValid(); l = layout.createLine()) {
            l.setLineWidth(lineWidth);
            ++taken;
        }
        layout.endLayout();
        rows += std::max(taken, 1);
    }
    int height = std::max(sz.height + 1, rows * fm.lineSpacing() + margins + 2);
    // Taller than the screen: the box scrolls.
    height = std::min(height, roomHeight);
    m_textBox->setFixedSize(width, height);
    m_textBox->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_textBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    move(x, y);
}

void CMessageTextDlg::PlaceBeside(const QRect& row, const QRect& list) {
    // The window manager's frame is not known before the window shows.
    constexpr int kBorder = kFrameBorder, kTitle = kFrameTitle;
    adjustSize();
    const QRect avail = (screen() ? screen() : QGuiApplication::primaryScreen())->availableGeometry();
    const int w = width() + 2 * kBorder;
    int x;
    if (list.right() + 4 + w <= avail.right())
        x = list.right() + 4;
    else if (list.left() - 4 - w >= avail.left())
        x = list.left() - 4 - w;
    else {
        // No room at either side: below the row, its title bar clear of it.
        move(row.left() + 18, row.bottom() + 4 + kTitle);
        return;
    }
    move(x, std::max(avail.top(), row.top() - kTitle));
}

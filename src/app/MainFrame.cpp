#include "app/MainFrame.h"

#include <algorithm>
#include <set>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QThread>
#include <QToolBar>

#include "app/AddFilesCommands.h"
#include "app/CompareCommands.h"
#include "app/ControlPanelBar.h"
#include "app/SettingsCommands.h"
#include "app/ConversionCommands.h"
#include "app/FileListCommands.h"
#include "app/RemoteCommands.h"
#include "app/FileCommands.h"
#include "app/FtpCommands.h"
#include "app/ItemCommands.h"
#include "app/TimerWork.h"
#include "platform/EndSignals.h"
#include "widgets/Icons.h"
#include "widgets/KeyMapping.h"
#include "app/ListViews.h"
#include "app/MenuMnemonics.h"
#include "app/MessageWindowBar.h"
#include "app/PasteGuard.h"
#include "widgets/ScreenFit.h"
#include "app/PaneControlStatusBar.h"
#include "app/QtPrompter.h"
#include "widgets/SharedDialogs.h"
#include "app/StartupBannerDlg.h"
#include "widgets/TextRichEdit.h"
#include "widgets/LineTextBox.h"
#include "widgets/TextWindows.h"
#include "compare/TextAccess.h"
#include "filelist/BasketComparison.h"
#include "model/CommandTable.h"
#include "model/Globals.h"
#include "model/Trace.h"
#include "model/WorkArea.h"
#include "platform/Prompter.h"
#include "model/Session.h"
#include "model/StopCommands.h"
#include "remote/FtpConnections.h"
#include "remote/FtpWorker.h"

int g_nViewWidth = 300;
std::function<bool()> CMainFrame::s_sortPropertiesDialog;

namespace {
QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// The menu text of a command: the name after "N. " (or after ": ").
QString MenuText(const QString& name) {
    QString rest = name.section(": ", 1);
    const int dot = rest.indexOf(". ");
    if (dot >= 0 && dot <= 2) rest = rest.mid(dot + 2);
    return rest;
}

struct ViewToggle {
    int id;
    const char* text;
};
const ViewToggle kViewToggles[] = {{32686, "Program toolbar"},
                                   {32582, "Open toolbar to work on files"},
                                   {32575, "Open FTP toolbar"},
                                   {32681, "Session Tree"},
                                   {32687, "Message Window"}};

// The menu entries as the program's documents write them, underlined
// letter and all: first the main window's own entries, then the Message
// Window menu's entries for the same commands. A menu whose text differs
// takes the same letter where its text has it.
struct MenuLetter {
    int id;
    const char* text;
};
const MenuLetter kMainMenuLetters[] = {{32652, "&Sort"},
                                       {32593, "Clear &duplicate lines"},
                                       {32594, "Clear &multi-line breaks"},
                                       {32587, "&Telnet to remote system"},
                                       {32563, "&Browse remote system"},
                                       {32682, "Repair &Local directories from Output Window"},
                                       {32683, "Repair &Remote directories from Output Window"},
                                       {32502, "&Update Quorvellian"}};
const MenuLetter kMessageMenuLetters[] = {
    {32627, "&Copy"}, {32647, "&Paste"}, {32628, "C&ut"}, {32649, "&Save Text"}, {32624, "Clea&r Text"}};
}  // namespace

std::string CMainFrame::BarStateKey() { return std::string(kToolbarStatePrefix) + kProgramVersion; }

CMainFrame::CMainFrame(QWidget* parent, bool load)
    : QMainWindow(parent), m_presenter(m_data), m_panelPresenter(m_data, &m_presenter) {
    setObjectName("MainFrame");
    setWindowTitle("Quorvellian");
    // The current session's work file is read while the window is built;
    // the first load takes its items.
    if (load) PrefetchCurrentWorkFile(g_strSessionInfoDir + kMasterFileName, g_strSessionInfoDir);
    m_presenter.SetView(this);
    m_presenter.SetControlPanel(&m_panelPresenter);
    m_panelPresenter.SetChanged([this] {
        if (m_controlPanel) m_controlPanel->Render();
    });
    ComputeLayout();

    m_banner = std::make_unique<CStartupBannerDlg>();
    // No text box of the program pastes from a clipboard without text.
    qApp->installEventFilter(new CPasteGuard(this));
    // Nor does any window open past the screen's edge.
    qApp->installEventFilter(new CScreenFitter(this));

    m_statusBar = new CPaneControlStatusBar(this);
    m_statusBar->setObjectName("59393");
    m_statusBar->SetIndicators({0});
    setStatusBar(m_statusBar);
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);

    BuildCommands();
    if (!CreateBars()) Prompter().Message("oops", MsgIcon::Stop);
    BuildMenus();

    // The client area: "File Baskets" over the file items.
    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setObjectName("59648");
    m_top = new CQuorvellianViewTop(this, m_splitter);
    m_bot = new CQuorvellianViewBot(this, m_splitter);
    m_splitter->addWidget(m_top);
    m_splitter->addWidget(m_bot);
    m_splitter->setSizes({m_layout.basketRowHeight, m_layout.H - m_layout.basketRowHeight});
    m_splitter->setStretchFactor(1, 1);
    setCentralWidget(m_splitter);
    g_pProgramData = &m_data;

    CreateStatusControls();
    ControlPanelServices& sv = m_panelPresenter.Services();
    sv.isConnected = [](const CHost& h) { return FindOpenConnection(h.m_strHost, h.m_strUser) >= 0; };
    sv.disconnectHost = [](const CHost& h) { DisconnectHost(h.m_strHost, h.m_strUser); };
    // "Load Session" asks for the file with the prompt's "..." button; a
    // prompter that is not the window's own answers the plain prompt.
    sv.browseForFile = [this]() -> std::optional<std::string> {
        const char* title = "Select File";
        const char* prompt = "Enter name of leaf-file that contains session information";
        if (!dynamic_cast<QtPrompter*>(&Prompter())) return Prompter().AskText(title, prompt, "");
        CTextPromptDlg dlg(title, prompt, QString(), 0, true, 3, Q(g_strSessionInfoDir), this);
        if (dlg.exec() != QDialog::Accepted) return std::nullopt;
        return dlg.TextBytes();
    };
    WireHandlers();
    m_ftpCommands = std::make_unique<CFtpCommands>(*this);
    m_timerWork = std::make_unique<CTimerWork>(*this);
    m_itemCommands = std::make_unique<CItemCommands>(*this);
    m_fileCommands = std::make_unique<CFileCommands>(*this);
    m_addFilesCommands = std::make_unique<CAddFilesCommands>(*this);
    m_ftpCommands->Wire();
    m_timerWork->Wire();
    m_itemCommands->Wire();
    m_fileCommands->Wire();
    m_addFilesCommands->Wire();
    m_conversionCommands = std::make_unique<CConversionCommands>(*this);
    m_fileListCommands = std::make_unique<CFileListCommands>(*this);
    m_remoteCommands = std::make_unique<CRemoteCommands>(*this);
    m_conversionCommands->Wire();
    m_fileListCommands->Wire();
    m_remoteCommands->Wire();
    m_compareCommands = std::make_unique<CCompareCommands>(*this);
    m_settingsCommands = std::make_unique<CSettingsCommands>(*this);
    m_compareCommands->Wire();
    m_settingsCommands->Wire();
    InstallWorkerHooks();
    for (CLineTextBox* box : {g_pInputWindow, g_pOutputWindow})
        if (box) box->SetMenuExtender([this, box](QMenu& menu) { BuildListContextMenu(box, menu); });
    // A command of the key table that nothing here carries out is left out
    // of the menus rather than shown as a dead entry.
    for (auto& [id, c] : m_commands)
        if (!c.handler && c.action) c.action->setVisible(false);

    move(0, 0);
    resize(m_layout.frameWidth, m_layout.H);
    setMinimumSize(250, 300);
    setMaximumSize(m_layout.W - 50, m_layout.H);

    m_timer.setObjectName("1105");
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &CMainFrame::OnTimerTick);
    m_timer.start();

    if (load) InitialLoad();
    QTimer::singleShot(0, m_banner.get(), [this] {
        if (!m_banner->IsClosed()) m_banner->RunBanner();
    });
}

CMainFrame::~CMainFrame() {
    // The command groups go first: they may still refer to the widgets.
    m_settingsCommands.reset();
    m_compareCommands.reset();
    m_remoteCommands.reset();
    m_fileListCommands.reset();
    m_conversionCommands.reset();
    m_addFilesCommands.reset();
    m_fileCommands.reset();
    m_itemCommands.reset();
    m_timerWork.reset();
    m_ftpCommands.reset();
    SetTraceSink(nullptr);
    SetVaultObserver(nullptr);
    SetGuiPoster(nullptr);
    SetMainProgramData(nullptr);
    SetMessageTextSink(nullptr);
    SetStatusTextSink(nullptr);
    SetModifierQuery(nullptr);
    if (g_pProgramData == &m_data) g_pProgramData = nullptr;
    // The widgets go before the presenters and the data they show.
    m_presenter.SetView(nullptr);
    m_panelPresenter.SetChanged(nullptr);
    m_modeless.clear();
    delete takeCentralWidget();
    m_top = nullptr;
    m_bot = nullptr;
    delete m_controlPanel;
    m_controlPanel = nullptr;
    delete m_messageWindow;
    m_messageWindow = nullptr;
    g_pViewTop = nullptr;
    g_pViewBot = nullptr;
    g_wndControlPanel = nullptr;
    g_wndMessageWindow = nullptr;
}

void CMainFrame::ComputeLayout() {
    if (QScreen* s = QApplication::primaryScreen()) {
        const QRect r = s->availableGeometry();
        m_layout.W = r.width();
        m_layout.H = r.height();
    }
    g_nViewWidth = m_layout.viewWidth;
}

// ---------------------------------------------------------------- bars

QToolBar* CMainFrame::MakeToolBar(const QString& title, int id, const std::vector<int>& commands) {
    auto* tb = new QToolBar(title, this);
    tb->setObjectName(QString::number(id));
    tb->setIconSize(QSize(20, 20));
    for (int cmd : commands)
        if (QAction* a = Action(cmd)) tb->addAction(a);
    m_toolBars[id] = tb;
    return tb;
}

QToolBar* CMainFrame::ToolBar(int id) const {
    auto it = m_toolBars.find(id);
    return it == m_toolBars.end() ? nullptr : it->second;
}

bool CMainFrame::CreateBars() {
    QToolBar* main = MakeToolBar("Main", 132,
                                 {32580, 32583, 32579, 32620, 32627, 32628, 32647, 57643, 32642, 32629,
                                  32511, 32501});
    main->setAllowedAreas(Qt::TopToolBarArea);
    addToolBar(Qt::TopToolBarArea, main);

    QToolBar* session = MakeToolBar("Session", 145,
                                    {32503, 32505, 32504, 32671, 32675, 32672, 32512, 32521, 32554,
                                     32516, 32514, 32518, 32522, 32584, 32585, 32586});
    addToolBar(Qt::TopToolBarArea, session);
    session->hide();

    m_messageWindow = new CMessageWindowBar(this);
    if (!m_messageWindow->Create("Message Window", this, m_layout.frameWidth, 90, true, 2034)) return false;
    m_messageWindow->setAllowedAreas(Qt::BottomDockWidgetArea);
    addDockWidget(Qt::BottomDockWidgetArea, m_messageWindow);
    g_wndMessageWindow = m_messageWindow;
    SetTraceSink(m_messageWindow);
    connect(m_messageWindow, &CMessageWindowBar::contextMenuAt, this,
            [this](QWidget* w, const QPoint& p) { ShowListContextMenu(w, p); });

    m_controlPanel = new CControlPanelBar(this, m_panelPresenter, this);
    if (!m_controlPanel->Create("Control panel", this, m_layout.panelCx, m_layout.panelCy, true, 2033))
        return false;
    m_controlPanel->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    addDockWidget(Qt::LeftDockWidgetArea, m_controlPanel);
    g_wndControlPanel = m_controlPanel;

    QToolBar* ftp = MakeToolBar("FTP", 141, {32557, 32564, 32558, 32565, 32568, 32569, 32562, 32555,
                                                32566, 32567, 32574});
    addToolBar(Qt::BottomToolBarArea, ftp);
    ftp->hide();
    QToolBar* adv = MakeToolBar("FTP Advanced", 143, {32508, 32507, 32510, 32509, 32556, 32563, 32578});
    addToolBar(Qt::BottomToolBarArea, adv);
    adv->hide();
    QToolBar* buffer = MakeToolBar("Manage Text Buffer", 165,
                                   {32655, 32651, 32650, 32625, 32639, 32640, 32649, 32626});
    buffer->setAllowedAreas(Qt::BottomToolBarArea);
    addToolBar(Qt::BottomToolBarArea, buffer);
    buffer->hide();
    return true;
}

bool CMainFrame::CreateStatusControls() {
    auto fail = [](int step) {
        Prompter().Message(std::to_string(step) +
                               ": Pane index out of range\nor pane with same ID already exists in the status bar",
                           MsgIcon::Stop);
        return false;
    };
    m_statusBar->setMinimumHeight(20);
    m_statusBar->SetPaneWidth(0, 183);
    m_timeEdit = new CStatusTimeEdit(" Ftp time", m_statusBar);
    m_timeEdit->setObjectName("2177");
    m_timeEdit->setReadOnly(true);
    if (!m_statusBar->AddIndicator(2177, 1)) return fail(2);
    // 55 pixels, or what a long time such as "(On-Demand) 10:59:59.9+" (the
    // fetch of "Open File") needs in this font.
    const int timeWidth = m_timeEdit->fontMetrics().horizontalAdvance(" (On-Demand) 10:59:59.9+") + 12;
    m_statusBar->SetPaneWidth(1, std::max(55, timeWidth));
    if (!m_statusBar->AddPaneControl(m_timeEdit, 2177, true)) return fail(3);
    m_progress = new CStatusProgressCtrl(m_statusBar);
    m_progress->setObjectName("2174");
    m_progress->setRange(0, g_nProgressRange);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    if (!m_statusBar->AddIndicator(2174, 2)) return fail(5);
    m_statusBar->SetPaneWidth(2, 200);
    if (!m_statusBar->AddPaneControl(m_progress, 2174, true)) return fail(6);
    return true;
}

void CMainFrame::ShowTextBufferBar(bool show) {
    if (QToolBar* tb = ToolBar(165)) tb->setVisible(show);
}

void CMainFrame::SetStatusText(const std::string& text) { m_presenter.SetStatusText(text); }

void CMainFrame::ToggleBar(QWidget* bar) {
    if (bar) bar->setVisible(bar->isHidden());
}

// ---------------------------------------------------------------- commands

void CMainFrame::BuildCommands() {
    // One action a command: its picture, its menu text and its tool tip.
    auto add = [this](int id, const QString& name, const QString& menuText) -> Command& {
        Command& c = m_commands[id];
        if (c.action) return c;
        c.name = name;
        c.menuText = menuText;
        c.action = new QAction(CommandIcon(id, name), menuText, this);
        c.action->setObjectName(QString::number(id));
        c.action->setToolTip(menuText);
        c.action->setEnabled(false);
        connect(c.action, &QAction::triggered, this, [this, id] { ExecuteCommand(id); });
        return c;
    };
    auto addRow = [&add](const CommandKeyEntry& row) {
        const QString name = QString::fromUtf8(row.text);
        add(row.commandId, name, MenuText(name));
    };
    for (const auto& row : g_KeyedCommands) addRow(row);
    for (const auto& row : g_UnkeyedCommands) addRow(row);
    for (const auto& t : kViewToggles) {
        Command& c = add(t.id, t.text, t.text);
        c.name = t.text;
        c.menuText = t.text;
        c.action->setText(t.text);
        c.action->setCheckable(true);
        c.action->setEnabled(false);
    }
    // Every other command the window routes (context menus, toolbars), with
    // the text its menus show.
    const std::pair<int, const char*> routed[] = {
        {32515, "Move to basket"}, {32506, "Sort"}, {32517, "Open File"}, {32519, "Print"}, {32520, "Remove"},
        {32524, "Select all"}, {32525, "Concatenate files"}, {32526, "Delete file"},
        {32527, "Duplicate file"}, {32528, "Manage files"}, {32530, "New file"},
        {32531, "New multiple files"}, {32532, "Rename file"}, {32541, "Clear Output name"},
        {32542, "Open in text editor"}, {32543, "Remove"}, {32544, "Select All"},
        {32545, "Specify Output name"}, {32550, "Copy"}, {32551, "Cut"}, {32552, "Paste"},
        {32553, "Ftp Advanced..."}, {32555, "Get status of local files"}, {32558, "To Local "},
        {32559, "Mark bat file"}, {32560, "Mark as binary"}, {32562, "Get status of remote files"},
        {32565, "To Remote"}, {32566, "Run bat file"}, {32567, "Stop FTP (Break)"},
        {32568, "Manual sync to local"}, {32569, "Manual sync to remote"}, {32574, "Auto sync to remote"},
        {32578, "Open FTP toolbar"}, {32587, "Telnet to remote system"}, {32592, "Status"},
        {32596, "Count frequency"}, {32597, "Cross Input/Output text"},
        {32598, "Repair line-breaks in files"}, {32599, "Get web-link info"}, {32604, "Copy"},
        {32605, "Find text"}, {32606, "Go to line here"}, {32607, "Compare two lines here"},
        {32608, "Find text here"}, {32609, "Add these lines to Master palette"},
        {32610, "Override selected lines in Master palette with these lines"},
        {32611, "Clear Master palette"}, {32612, "Delete selected lines"}, {32613, "Edit selected lines"},
        {32614, "Go to line here"}, {32615, "Insert blank"}, {32616, "Load file onto Master palette"},
        {32617, "Save Master palette"}, {32618, "Convert using Library"}, {32619, "Write SQL code"},
        {32621, "Tabulate Input Text"}, {32624, "Clear Text"}, {32625, "Remove current item from buffer"},
        {32636, "Conversion Library"}, {32639, "Dump buffer items to disk"},
        {32640, "Load buffer items from disk"}, {32644, "Stop text conversion (Break)"},
        {32650, "Scroll buffer right"}, {32651, "Scroll buffer left"}, {32655, "Save input text to buffer"},
        {32657, "Make Library"}, {32659, "To Left"}, {32661, "Add Account"}, {32662, "Browse..."},
        {32663, "Delete Account"}, {32664, "Properties..."}, {32665, "Telnet..."}, {32666, "Add Cluster"},
        {32667, "Connect all..."}, {32668, "Delete Cluster"}, {32669, "Rename Cluster"},
        {32670, "Modify passwords globally..."}, {32673, "Load Session"}, {32674, "Properties..."},
        {32676, "Add Project"}, {32677, "Delete Project"}, {32678, "Rename Project"},
        {32679, "Clean My Vault..."}, {32682, "Repair Local directories from Output Window"},
        {32683, "Repair Remote directories from Output Window"}, {32570, "Intr:       "},
        {32584, "Sort selected items by name"}, {32585, "Sort selected items by host"},
        {32586, "Sort selected items by name length"},
    };
    for (const auto& [id, text] : routed) add(id, text, text);
}

void CMainFrame::BuildMenus() {
    QMenuBar* bar = menuBar();
    const char* order[] = {"Application", "Edit", "Session", "File", "FTP", "Conversion", "Diff", "Xtra"};
    std::map<QString, QMenu*> menus;
    for (const char* cat : order) {
        QMenu* m = bar->addMenu(cat);
        m->setObjectName(QString("menu") + cat);
        menus[cat] = m;
        if (QString(cat) == "Edit") {
            QMenu* v = bar->addMenu("View");
            v->setObjectName("menuView");
            for (const auto& t : kViewToggles) v->addAction(Action(t.id));
        }
    }
    // Each command once, in table order within its category, sorted by its place text.
    std::vector<std::pair<QString, int>> rows;
    for (const auto& [id, c] : m_commands) {
        const QString cat = c.name.section(": ", 0, 0);
        if (!menus.count(cat) || c.name == c.menuText) continue;
        rows.push_back({c.name, id});
    }
    std::sort(rows.begin(), rows.end());
    for (const auto& [name, id] : rows) menus[name.section(": ", 0, 0)]->addAction(Action(id));
    // Commands the keyboard table leaves out, where a user looks for them.
    const std::pair<const char*, int> more[] = {
        {"File", 32515},       {"File", 32528}, {"File", 32598}, {"File", 32682},
        {"File", 32683},       {"File", 32599}, {"FTP", 32553},  {"FTP", 32587},
        {"Conversion", 32636}, {"Conversion", 32657}, {"Conversion", 32644},
        {"Xtra", 32596},       {"Xtra", 32597}, {"Xtra", 32621}, {"Xtra", 32619},
    };
    for (const auto& [cat, id] : more) menus[cat]->addAction(Action(id));
    UpdateMenuTexts();
}

void CMainFrame::UpdateMenuTexts() {
    // A title's letter is never one the key table gives with Alt alone:
    // such a key runs its command.
    std::set<QChar> titleLetters;
    for (const auto& [id, keys] : m_keys)
        for (const QKeySequence& k : keys) {
            if (k.count() != 1 || k[0].keyboardModifiers() != Qt::AltModifier) continue;
            const int key = k[0].key();
            if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
                titleLetters.insert(QChar(key).toLower());
        }
    // The titles take their letters together: a title whose letters the key
    // table took does not lose its last one to a title before it.
    std::vector<QMenu*> titled;
    std::vector<QString> titles;
    for (QAction* title : menuBar()->actions())
        if (QMenu* menu = title->menu()) {
            titled.push_back(menu);
            titles.push_back(menu->objectName().mid(4));  // "menuFile"
        }
    titles = WithMnemonics(titles, titleLetters);
    for (size_t i = 0; i < titled.size(); ++i) titled[i]->setTitle(titles[i]);
    std::map<int, QString> shown;  // entry texts of the main menus, with their letters
    for (QMenu* menu : titled) {
        std::set<QChar> letters;
        std::vector<int> ids;
        for (QAction* a : menu->actions()) {
            const auto c = m_commands.find(a->objectName().toInt());
            if (!a->isSeparator() && !a->menu() && c != m_commands.end() && c->second.action == a)
                ids.push_back(c->first);
        }
        // The documents' letters first, where the entry's text has them;
        // then a letter of its own for every other entry.
        const auto documented = [&](const auto& table) {
            for (const MenuLetter& l : table) {
                const QString text = m_commands[l.id].menuText, written = QString::fromLatin1(l.text);
                const QChar letter = written[written.indexOf(QLatin1Char('&')) + 1].toLower();
                if (std::find(ids.begin(), ids.end(), l.id) == ids.end() || shown.count(l.id) ||
                    letters.count(letter) || !text.contains(letter, Qt::CaseInsensitive))
                    continue;
                if (WithoutMnemonic(written) == text) {
                    shown[l.id] = written;
                    letters.insert(letter);
                } else {
                    shown[l.id] = WithMnemonic(text, letters, letter);
                }
            }
        };
        documented(kMainMenuLetters);
        documented(kMessageMenuLetters);
        for (int id : ids)
            if (!shown.count(id)) shown[id] = WithMnemonic(m_commands[id].menuText, letters);
    }
    // The menus show the first key of each command.
    for (auto& [id, c] : m_commands) {
        if (!c.action) continue;
        auto k = m_keys.find(id);
        QString text = shown.count(id) ? shown[id] : c.menuText;
        if (k != m_keys.end() && !k->second.isEmpty())
            text += "\t" + k->second.first().toString(QKeySequence::NativeText);
        c.action->setText(text);
    }
}

QAction* CMainFrame::Action(int id) const {
    auto it = m_commands.find(id);
    return it == m_commands.end() ? nullptr : it->second.action;
}

std::vector<int> CMainFrame::CommandIds() const {
    std::vector<int> ids;
    for (const auto& [id, c] : m_commands) ids.push_back(id);
    return ids;
}

bool CMainFrame::IsCommandEnabled(int id) const {
    auto it = m_commands.find(id);
    return it != m_commands.end() && it->second.handler && it->second.action->isEnabled();
}

void CMainFrame::SetCommandHandler(int id, std::function<void()> handler) {
    Command& c = m_commands[id];
    if (!c.action) {
        c.action = new QAction(QString::number(id), this);
        c.action->setObjectName(QString::number(id));
        connect(c.action, &QAction::triggered, this, [this, id] { ExecuteCommand(id); });
    }
    c.handler = std::move(handler);
    c.action->setEnabled(bool(c.handler));
}

void CMainFrame::SetCommandText(int id, const QString& text) {
    auto it = m_commands.find(id);
    if (it == m_commands.end() || !it->second.action) return;
    if (it->second.name.isEmpty()) it->second.name = text;
    it->second.menuText = text;
    it->second.action->setText(text);
    UpdateMenuTexts();
}

void CMainFrame::ExecuteCommand(int id) {
    auto it = m_commands.find(id);
    if (it == m_commands.end() || !it->second.handler || !it->second.action->isEnabled()) return;
    auto handler = it->second.handler;  // the handler may replace itself
    // A command that fails ends itself, never the program with the user's
    // sessions in it.
    try {
        handler();
    } catch (const std::exception& e) {
        ReportCommandError(e.what());
    } catch (...) {
        ReportCommandError("an unknown error");
    }
}

void ReportCommandError(const std::string& what) {
    const std::string text = "The command stopped on an error: " + what +
                             ".\r\nThe program goes on; what the command had not done yet is left undone.";
    WriteTrace("-?- " + text);
    // An error while the box is up (an event that fails each time it comes)
    // goes to the Message Window only.
    static bool showing = false;
    if (showing) return;
    showing = true;
    Prompter().Message(text, MsgIcon::Stop);
    showing = false;
}

QList<QKeySequence> CMainFrame::ShortcutsOf(int id) const {
    auto it = m_keys.find(id);
    return it == m_keys.end() ? QList<QKeySequence>() : it->second;
}

bool CMainFrame::SetAcceleratorTable(const std::vector<AccelEntry>& table) {
    for (QShortcut* s : m_shortcuts) delete s;
    m_shortcuts.clear();
    m_keys.clear();
    for (const auto& e : table) {
        QKeySequence seq = AccelToSequence(e.fVirt, e.key);
        if (seq.isEmpty()) continue;
        auto* sc = new QShortcut(seq, this);
        // Like the main window's accelerators for its modeless dialogs: a key
        // pressed in any window of the program (not one blocked by a modal
        // dialog) runs its command unless the focused box takes the key itself.
        sc->setContext(Qt::ApplicationShortcut);
        const int id = e.commandId;
        connect(sc, &QShortcut::activated, this, [this, id] { ExecuteCommand(id); });
        m_shortcuts.push_back(sc);
        m_keys[id].append(seq);
    }
    UpdateMenuTexts();
    // F10 opens the menu bar, as on other desktops, unless the key table
    // gives F10 to a command.
    const bool f10Taken = std::any_of(m_keys.begin(), m_keys.end(), [](const auto& k) {
        return k.second.contains(QKeySequence(Qt::Key_F10));
    });
    delete m_menuKey;
    m_menuKey = nullptr;
    if (!f10Taken) {
        m_menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
        connect(m_menuKey, &QShortcut::activated, this, [this] {
            const QList<QAction*> titles = menuBar()->actions();
            if (!titles.isEmpty()) menuBar()->setActiveAction(titles.front());
        });
    }
    return true;
}

void CMainFrame::WireHandlers() {
    CMainPresenter& mp = m_presenter;
    CControlPanelPresenter& cp = m_panelPresenter;
    SetCommandHandler(32580, [&mp] { mp.SaveUserInformation(); });
    SetCommandHandler(57665, [this] { close(); });
    SetCommandHandler(32620, [] { OnStopAllThreads(); });
    SetCommandHandler(32567, [] { OnStopFtp(); });
    SetCommandHandler(32574, [] { OnAutoSyncToRemote(); });
    SetCommandHandler(32503, [&mp] { mp.OnAddBasket(); });
    SetCommandHandler(32505, [this, &mp] { mp.OnRenameBasket(m_top->SelectedRows()); });
    SetCommandHandler(32504, [this, &mp] { mp.OnDeleteBasket(m_top->SelectedRows()); });
    if (s_sortPropertiesDialog)
        SetCommandHandler(32506, [&mp] {
            if (s_sortPropertiesDialog()) mp.OnSortBaskets(false);
        });
    SetCommandHandler(32515, [this] { MoveItemsToBasket(); });
    SetCommandHandler(32570, [this] { UpdateIntrIndicator(); });

    SetCommandHandler(32676, [&cp] { cp.AddProject(); });
    SetCommandHandler(32677, [&cp] { cp.DeleteProject(); });
    SetCommandHandler(32678, [&cp] { cp.RenameProject(); });
    SetCommandHandler(32671, [&cp] { cp.AddSession(); });
    SetCommandHandler(32672, [&cp] { cp.DeleteSession(); });
    SetCommandHandler(32675, [&cp] { cp.RenameSession(); });
    SetCommandHandler(32673, [&cp] { cp.LoadSession(); });
    SetCommandHandler(32679, [&cp] { cp.CleanVault(); });
    SetCommandHandler(32666, [&cp] { cp.AddCluster(); });
    SetCommandHandler(32668, [&cp] { cp.DeleteCluster(); });
    SetCommandHandler(32669, [&cp] { cp.RenameCluster(); });
    SetCommandHandler(32661, [&cp] { cp.AddAccount(); });
    SetCommandHandler(32663, [&cp] { cp.DeleteAccount(); });
    SetCommandHandler(32667, [] { Prompter().Message("Not implemented yet...", MsgIcon::None); });
    const ControlPanelServices& sv = cp.Services();
    if (sv.sessionProperties) SetCommandHandler(32674, [&cp] { cp.SessionProperties(); });
    if (sv.accountProperties) SetCommandHandler(32664, [&cp] { cp.AccountProperties(); });
    if (sv.browseRemote) SetCommandHandler(32662, [&cp] { cp.BrowseAccount(); });
    if (sv.launchTelnet) SetCommandHandler(32665, [&cp] { cp.TelnetAccount(); });
    if (sv.modifyPasswordsGlobally) SetCommandHandler(32670, [&cp] { cp.ModifyPasswordsGlobally(); });

    SetCommandHandler(32680, [] {
        Prompter().Message("Feature intended for custom use only.\r\nNot available to general user", MsgIcon::None);
    });
    SetCommandHandler(32597, [this] { CrossInputOutputText(); });
    SetCommandHandler(32578, [this] { ToggleBar(ToolBar(141)); });
    SetCommandHandler(32553, [this] {
        if (QToolBar* tb = ToolBar(143)) tb->show();
    });
    SetCommandHandler(32623, [this] { ToggleBar(ToolBar(165)); });
    SetCommandHandler(32583, [this] { ToggleBar(m_controlPanel); });
    SetCommandHandler(32686, [this] { ToggleBar(ToolBar(132)); });
    SetCommandHandler(32582, [this] { ToggleBar(ToolBar(145)); });
    SetCommandHandler(32575, [this] { ToggleBar(ToolBar(141)); });
    SetCommandHandler(32681, [this] { ToggleBar(m_controlPanel); });
    SetCommandHandler(32687, [this] { ToggleBar(m_messageWindow); });
    auto check = [this](int id, QWidget* w) {
        QAction* a = Action(id);
        auto sync = [a, w] { a->setChecked(w->isVisible()); };
        if (auto* tb = qobject_cast<QToolBar*>(w)) connect(tb, &QToolBar::visibilityChanged, a, sync);
        if (auto* dw = qobject_cast<QDockWidget*>(w)) connect(dw, &QDockWidget::visibilityChanged, a, sync);
        a->setChecked(!w->isHidden());
    };
    check(32686, ToolBar(132));
    check(32582, ToolBar(145));
    check(32575, ToolBar(141));
    check(32681, m_controlPanel);
    Action(32583)->setCheckable(true);
    check(32583, m_controlPanel);
    Action(32623)->setCheckable(true);
    check(32623, ToolBar(165));
    check(32687, m_messageWindow);

}

std::vector<int> CMainFrame::GetSelectedListRows(QTreeWidget* list) const {
    std::vector<int> rows;
    if (!list) return rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->isSelected()) rows.push_back(i);
    return rows;
}

std::string CMainFrame::GetCommonLocalDir() const {
    const int p = m_data.GetCurProject(), s = m_data.GetCurSession(), b = m_data.GetCurBasket();
    const std::vector<int> sel = m_data.GetSelection(p, s, b);
    if (sel.empty()) return std::string();
    const std::string first = m_data.GetFileItem(p, s, b, sel.front()).LocalDir;
    for (int f : sel)
        if (m_data.GetFileItem(p, s, b, f).LocalDir != first) return std::string();
    return first;
}

void CMainFrame::InstallWorkerHooks() {
    SetVaultObserver(&m_panelPresenter);
    // Workers reach the window only through these: every task runs on the GUI thread.
    SetGuiPoster([this](GuiTask task) {
        QMetaObject::invokeMethod(this, [task = std::move(task)] { task(); }, Qt::QueuedConnection);
    });
    SetMainProgramData(&m_data);
    // Like a trace line: at once on the GUI thread, else behind the lines queued before it.
    SetMessageTextSink([this](const std::string& text) {
        if (QThread::currentThread() == thread())
            m_messageWindow->SetText(text);
        else
            QMetaObject::invokeMethod(this, [this, text] { m_messageWindow->SetText(text); }, Qt::QueuedConnection);
    });
    // The program-wide status text (transfer and conversion times) shows in
    // the "Intr:" indicator.
    SetStatusTextSink([this](const std::string&) {
        QMetaObject::invokeMethod(this, [this] { ExecuteCommand(32570); }, Qt::QueuedConnection);
    });
    SetModifierQuery([] {
        const auto m = QGuiApplication::queryKeyboardModifiers();
        return (m & Qt::ShiftModifier) && (m & Qt::ControlModifier);
    });
}

void CMainFrame::CrossInputOutputText() {
    CBasketComparison work;
    const std::string listing = CrossListInputOutput(work, GetInputWindowText(), GetOutputWindowText(),
                                                     m_data.m_SessionReport.ReportCompFiles);
    m_messageWindow->Clear();
    WriteTrace(listing);
    const char* done = "Cross of texts from Input and Output windows is shown on Message Window.";
    CMainPresenter::LogMessage(done);
    Prompter().Message(done, MsgIcon::Warning);
}

void CMainFrame::UpdateIntrIndicator() {
    if (m_timeEdit) m_timeEdit->setText(" " + Q(GetFtpStatusText()));
}

void CMainFrame::MoveItemsToBasket() {
    CSelectDlg dlg(3, &m_data, 0, 0, this);
    if (dlg.exec() != QDialog::Accepted || dlg.Selected().empty()) return;
    m_presenter.OnMoveItemsToBasket(dlg.Selected().front());
}

void CMainFrame::ShowListContextMenu(QWidget* list, const QPoint& global) {
    QMenu menu(this);
    if (!BuildListContextMenu(list, menu)) return;
    menu.exec(global);
}

bool CMainFrame::BuildListContextMenu(QWidget* list, QMenu& menu) {
    struct Entry {
        int id;
        const char* text;
        int sub;  // 0 plain, 1 opens a sub-menu, 2 closes it
    };
    std::vector<Entry> entries;
    if (list == m_top) {
        entries = {{32503, "Add\tF7", 0},           {32505, "Rename\tCtrl+F7", 0},
                   {32504, "Delete\tCtrl+Shift+F7", 0}, {32506, "Sort", 0},
                   {0, nullptr, 0},                  {0, "Ftp", 1},
                   {32558, "To Local \t(Get All)", 0}, {32565, "To Remote\t(Put All)", 0},
                   {0, nullptr, 2}};
    } else if (list == m_bot) {
        entries = {{32512, "Open Folder\tCtrl+Space", 0},
                   {32517, "Open File\tDbl Click", 0},
                   {32524, "Select all\tCtrl+A", 0},
                   {32519, "Print", 0},
                   {32520, "Remove\tDelete", 0},
                   {0, nullptr, 0},
                   {0, "Work on file-list...", 1},
                   {32516, "Up\tCtrl+1", 0},
                   {32514, "Down\tCtrl+2", 0},
                   {32518, "Pin\tCtrl+P", 0},
                   {32521, "Mirror copies\tCtrl+D", 0},
                   {32523, "Make same Host\tCtrl+Shift+D", 0},
                   {0, "Case", 1},
                   {32534, "Lower case\tCtrl+L", 0},
                   {32536, "Upper case\tCtrl+U", 0},
                   {32535, "Change case...", 0},
                   {0, nullptr, 2},
                   {32592, "Status", 0},
                   {0, nullptr, 2},
                   {0, "File tools...", 1},
                   {0, "Diff files\tAlt+D", 1},
                   {32549, "Quick diff (Input Output window)\tAlt+1", 0},
                   {32548, "Quick diff (2 files)\tAlt+2", 0},
                   {32546, "3-Way diff (3 files)\tAlt+3", 0},
                   {0, nullptr, 2},
                   {32522, "Report on files\tCtrl+R", 0},
                   {32533, "Rename multiple files\tAlt+R", 0},
                   {32531, "New multiple files", 0},
                   {0, nullptr, 2},
                   {0, "FTP files...", 1},
                   {32557, "To local (from remote)\tF4 (get)", 0},
                   {32564, "To remote (from local)\tF5 (put)", 0},
                   {32560, "Mark as binary", 0},
                   {32559, "Mark bat file", 0},
                   {0, nullptr, 2},
                   {0, nullptr, 0},
                   {32551, "Cut", 0},
                   {32550, "Copy", 0},
                   {32552, "Paste", 0},
                   {0, nullptr, 0},
                   {32530, "New file", 0},
                   {32532, "Rename file", 0},
                   {32527, "Duplicate file", 0},
                   {32525, "Concatenate files", 0},
                   {32526, "Delete file", 0},
                   {0, nullptr, 0},
                   {32554, "Properties...\tCtrl+Q", 0}};
    } else if (list == m_messageWindow->GetRichEdit()) {
        g_nActiveTextWindow = 3;
        entries = {{32627, "&Copy\tCtrl+C", 0}, {32647, "&Paste\tCtrl+V", 0}, {32628, "C&ut\tCtrl+X", 0},
                   {32649, "&Save Text", 0},     {32624, "Clea&r Text", 0}};
    } else if (list && (list == g_pInputWindow || list == g_pOutputWindow)) {
        g_nActiveTextWindow = list == g_pInputWindow ? 1 : 2;
        // After the box's own edit entries: the text tools.
        entries = {{0, nullptr, 0},
                   {32652, "&Sort", 0},
                   {32656, "To Lower case", 0},
                   {32658, "To Upper case", 0},
                   {32593, "Clear &duplicate lines", 0},
                   {32594, "Clear &multi-line breaks", 0},
                   {32600, "Clear all tabs", 0},
                   {32596, "Count frequency", 0},
                   {32602, "View line-breaks", 0},
                   {0, nullptr, 0},
                   {32597, "Cross Input/Output text", 0},
                   {32621, "Tabulate Input Text", 0},
                   {32619, "Write SQL code", 0},
                   {0, nullptr, 0},
                   {32659, "To Left", 0},
                   {32622, "Append Right", 0},
                   {0, nullptr, 0},
                   {32649, "Save Text", 0},
                   {32624, "Clear Text", 0}};
    } else {
        return false;
    }
    menu.setObjectName(list == m_top                   ? "128"
                       : list == m_bot                 ? "130"
                       : list == g_pInputWindow        ? "153"
                       : list == g_pOutputWindow       ? "156"
                                                       : "155");
    std::vector<QMenu*> open{&menu};
    for (const auto& e : entries) {
        QMenu* target = open.back();
        if (e.sub == 1) {
            open.push_back(target->addMenu(e.text));
            continue;
        }
        if (e.sub == 2) {
            if (open.size() > 1) open.pop_back();
            continue;
        }
        if (!e.text) {
            target->addSeparator();
            continue;
        }
        QAction* a = target->addAction(e.text);
        a->setObjectName(QString::number(e.id));
        a->setEnabled(IsCommandEnabled(e.id));
        const int id = e.id;
        connect(a, &QAction::triggered, this, [this, id] { ExecuteCommand(id); });
    }
    return true;
}

// ---------------------------------------------------------------- views

void CMainFrame::BasketRowsChanged() {
    if (m_top) m_top->Render(m_presenter);
}
void CMainFrame::BasketRowChanged(int row) {
    if (m_top) m_top->RenderRow(m_presenter, row);
}
void CMainFrame::FileRowsChanged() {
    if (m_bot) m_bot->Render(m_presenter);
}
void CMainFrame::FileRowChanged(int row) {
    if (m_bot) m_bot->RenderRow(m_presenter, row);
}
void CMainFrame::StatusTextChanged() {
    if (m_statusBar) m_statusBar->SetPaneText(0, Q(m_presenter.StatusText()));
}
void CMainFrame::TreesChanged() {
    if (m_controlPanel) m_controlPanel->Render();
}

// ---------------------------------------------------------------- load, timer, close

void CMainFrame::InitialLoad() {
    m_tick = 0;
    m_presenter.InitialLoad();
    if (m_conversionCommands) m_conversionCommands->FillLibraryLists();
    if (m_timerWork) m_timerWork->ResetCounters();
    QFont f("Lucida Console");
    f.setStyleHint(QFont::Monospace);
    f.setPointSize(9);
    m_messageWindow->GetRichEdit()->setFont(f);
    LoadBarState();
}

void CMainFrame::OnTimerTick() {
    ++m_tick;
    if (m_timerWork) m_timerWork->OnTimerTick();
}

void CMainFrame::SaveBarState() {
    const std::string key = BarStateKey();
    CDockableCtrl::GlobalSaveState(key);
    QSettings s;
    s.setValue(Q(key) + "/Layout", saveState(1));
}

void CMainFrame::LoadBarState() {
    const std::string key = BarStateKey();
    CDockableCtrl::GlobalLoadState(key);
    QSettings s;
    const QByteArray state = s.value(Q(key) + "/Layout").toByteArray();
    if (!state.isEmpty()) restoreState(state, 1);
    // The docked bars take their stored sizes once the window is laid out.
    QTimer::singleShot(0, this, [this] {
        if (!m_controlPanel->isHidden() && !m_controlPanel->isFloating())
            resizeDocks({m_controlPanel}, {m_controlPanel->SizeVert().width()}, Qt::Horizontal);
        if (!m_messageWindow->isHidden() && !m_messageWindow->isFloating())
            resizeDocks({m_messageWindow}, {m_messageWindow->SizeHorz().height()}, Qt::Vertical);
        QTimer::singleShot(0, this, [this] {
            m_controlPanel->SetTrackSizes(true);
            m_messageWindow->SetTrackSizes(true);
        });
    });
}

void CMainFrame::RegisterModelessDialog(QWidget* dialog, HomeSlot slot, const bool* shown,
                                        std::function<void()> firstPlace) {
    if (!dialog) return;
    // Placed when first shown: asking a dialog that was never shown for its
    // size lays it out, which is all the cost of starting the window.
    m_modeless.push_back({dialog, slot, shown, true, std::move(firstPlace)});
    dialog->installEventFilter(this);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show) {
        for (Modeless& m : m_modeless) {
            if (m.dialog != watched) continue;
            if (m.firstPlace) {
                const auto place = std::move(m.firstPlace);
                m.firstPlace = nullptr;
                place();
            } else if (m.home && m_top) {
                PlaceAtHome(m, Anchor());
            }
            m.home = false;
            FitOnScreen(m.dialog);
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

PlaceRect CMainFrame::Anchor() const {
    const QRect g = frameGeometry();
    return FrameAnchor({g.left(), g.top(), g.right(), g.bottom()}, m_top->width());
}

void CMainFrame::PlaceAtHome(Modeless& m, const PlaceRect& F) {
    // A dialog not laid out yet takes the size it will show with.
    const QSize size = m.dialog->size().expandedTo(m.dialog->sizeHint());
    const PlacePoint p = HomePosition(m.slot, F, m_layout.H, size.height());
    m.dialog->move(p.x, p.y);
    m.home = false;
}

void CMainFrame::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    FitFrameOnScreen();
    FollowFrame();
}

// The window is made as tall as the screen's free area; a window manager's
// title bar then pushes the status bar below the screen's edge. Once the
// frame is known, the window gives up the part that does not fit.
void CMainFrame::FitFrameOnScreen() {
    if (!isVisible() || isMaximized() || isFullScreen()) return;
    QScreen* s = screen();
    if (!s) return;
    const QRect avail = s->availableGeometry();
    const QRect frame = frameGeometry();
    const int over = frame.bottom() - avail.bottom();
    if (over > 0 && height() - over >= minimumHeight()) resize(width(), height() - over);
}

void CMainFrame::FollowFrame() {
    if (m_modeless.empty() || !m_top) return;
    const PlaceRect F = Anchor();
    const int dx = m_anchorSet ? F.left - m_prevAnchor.left : 0;
    const int dy = m_anchorSet ? F.top - m_prevAnchor.top : 0;
    for (Modeless& m : m_modeless) {
        if (m.shown && *m.shown)
            m.dialog->move(m.dialog->pos() + QPoint(dx, dy));
        else if (m.dialog->isVisible())
            PlaceAtHome(m, F);
        else
            m.home = true;
    }
    m_prevAnchor = F;
    m_anchorSet = true;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_closing) {
        event->accept();
        return;
    }
    m_closing = true;
    NoteCloseBegun(true);
    // Workers are told to stop; the data is saved as it stands, with the
    // results of every item they finished (a file being sent straight goes
    // on to its end within the close's wait).
    g_bFtpClosing = true;
    g_bFtpBreak = true;
    g_bConversionBreak = true;
    g_bBatchBreak = true;
    g_bAddFilesBreak = true;
    g_bDiffBreak = true;
    m_timer.stop();
    if (m_banner) m_banner->Close();
    if (m_compareCommands) m_compareCommands->StopDiff(3000);
    ShutdownFtp(3000);
    if (m_timerWork) m_timerWork->TakeOverResultsAtClose();
    CloseAllConnections();
    const auto closeUnsaved = [this] {
        // What was changed since the last good save lives only in this
        // window: it stays open unless the user lets it go.
        if (m_noQuestions) return true;
        return Prompter().AskDefaultNo("The program data could not be saved: the changes since the last save would be "
                                       "lost.\r\nClose anyway?",
                                       MsgIcon::Question) == Answer::Yes;
    };
    if (!m_presenter.CloseSteps([this] { SaveBarState(); }, closeUnsaved)) {
        // The workers that were stopped stay stopped; their commands start
        // them again.
        m_closing = false;
        NoteCloseBegun(false);
        m_timer.start();
        event->ignore();
        return;
    }
    m_closed = true;
    event->accept();
}

void CMainFrame::CloseWithoutQuestions() {
    if (m_closed) return;
    // Messages of a failed save go to standard error and the log.
    StderrPrompter quiet;
    ScopedPrompter scope(quiet);
    m_noQuestions = true;
    close();
    m_noQuestions = false;
}

QFont CMainFrame::LabelFont() {
    QFont f("Microsoft Sans Serif");
    f.setStyleHint(QFont::SansSerif);
    f.setPointSize(8);
    return f;
}

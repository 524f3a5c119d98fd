#include "app/ConversionCommands.h"

#include <QScreen>

#include "widgets/ScreenFit.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <QTextBlock>

#include "app/FileCommands.h"
#include "app/ItemCommands.h"
#include "app/MainFrame.h"
#include "app/MessageWindowBar.h"
#include "app/PaneControlStatusBar.h"
#include "widgets/LineTextBox.h"
#include "widgets/TextRichEdit.h"
#include "widgets/TextRules.h"
#include "widgets/TextWindows.h"
#include "compare/TextAccess.h"
#include "convert/ConversionRun.h"
#include "convert/TextTools.h"
#include "convert_ui/WorkPadRun.h"
#include "filelist/OutputNames.h"
#include "widgets/HyperLink.h"
#include "convert_ui/ui/AttributesDlg.h"
#include "convert_ui/ui/DefinedMacrosDlg.h"
#include "convert_ui/ui/BatchTextConversionDlg.h"
#include "app/MainPresenter.h"
#include "model/ProgramData.h"
#include <QApplication>
#include "convert_ui/ui/InteractiveTextConversionDlg.h"
#include "convert_ui/ui/TextConversionRulesDlg.h"
#include "convert_ui/ui/InteractiveWorker.h"
#include "convert_ui/ui/ModalRun.h"
#include "convert_ui/ui/SortPropertiesDlg.h"
#include "convert_ui/ui/TabulateInputTextDlg.h"
#include "model/Trace.h"
#include "remote/FtpWorker.h"
#include "model/Globals.h"
#include "platform/Prompter.h"
#include "model/StopCommands.h"


namespace {
}  // namespace

int CConversionCommands::RunModal(QDialog& dlg) { return RunDialogModal(dlg); }

CConversionCommands::CConversionCommands(CMainFrame& frame) : m_frame(frame) {}

CConversionCommands::~CConversionCommands() {
    // The workers go first: they may still hand a result to the windows.
    m_worker.reset();
    SetShowOutputWindowHook(nullptr);
    delete m_batch;
    CHyperLink::s_usageHandler = m_previousUsageHandler;
    delete m_workPad;
    delete m_attributes;
    delete m_rules;
    delete m_library;
    g_bInteractiveShown = g_bAttributesShown = g_bRulesShown = g_bDefinedMacrosShown = false;
}

void CConversionCommands::Wire() {
    CMainFrame& f = m_frame;
    m_worker = std::make_unique<CInteractiveWorker>();
    m_worker->SetStatusWidgets(f.findChild<QProgressBar*>("2174"), f.findChild<QLineEdit*>("2177"));
    m_workPad = new CInteractiveTextConversionDlg(*m_worker, &f);
    m_workPad->SetProgramData(&f.Data());
    m_workPad->onTextBuffer = [this](bool show) { m_frame.ShowTextBufferBar(show); };
    // First shown beside the main window wherever that stands: 100 pixels
    // short of its right edge at its start width, at its top, as tall as the
    // work area less the room of the main window's bars; the screen keeps it
    // inside when shown.
    f.RegisterModelessDialog(m_workPad, HomeSlot::InteractiveTextConversion, &g_bInteractiveShown, [this] {
        const QWidget* main = &m_frame;
        const QScreen* screen = main->screen() ? main->screen() : QGuiApplication::primaryScreen();
        // A pad with its frame is moved by its frame. One the window manager
        // has not framed yet is moved by its inside, which the frame will
        // then surround as it surrounds the main window.
        QRect frame = m_workPad->frameGeometry(), inside = m_workPad->geometry();
        QPoint inset;
        if (frame == inside) {
            frame = main->frameGeometry(), inside = main->geometry();
            inset = inside.topLeft() - frame.topLeft();
        }
        const int frameH = frame.height() - inside.height();
        const QPoint corner = main->frameGeometry().topLeft();
        m_workPad->move(corner + QPoint(m_frame.Layout().frameWidth - 100, 0) + inset);
        if (screen) m_workPad->resize(m_workPad->width(), screen->availableGeometry().height() - 138 - frameH);
    });
    m_attributes = new CAttributesDlg(&f);
    m_attributes->SetProgramData(&f.Data());
    m_rules = new CTextConversionRulesDlg(&f);
    f.RegisterModelessDialog(m_rules, HomeSlot::TextConversionRules, &g_bRulesShown);
    m_workPad->onShowAttributes = [this] {
        // Shown already: it only comes to the front where it is.
        if (g_bAttributesShown) {
            m_attributes->raise();
            return;
        }
        ShowAttributesBeside();
    };
    m_workPad->onHideAttributes = [this] {
        g_bAttributesShown = false;
        m_attributes->hide();
    };
    m_library = new CDefinedMacrosDlg(&f);
    m_library->SetProgramData(&f.Data());
    f.RegisterModelessDialog(m_library, HomeSlot::DefinedMacros, &g_bDefinedMacrosShown);
    m_library->onWildSymbolChanged = [this] { m_attributes->ShowWildCardSymbol(); };
    m_library->onToFindRep = [this](const CMacro& m) { MacroToWorkPad(m); };
    m_workPad->onToLibrary = [this](bool add) { ExportMacro(add); };
    m_library->outputWindowText = [] { return GetOutputWindowText(); };
    m_library->onExecuteLibrary = [this] { ExecuteLibrary(); };
    m_batch = new CBatchTextConversionDlg(&f);
    m_batch->SetProgramData(&f.Data());
    f.RegisterModelessDialog(m_batch, HomeSlot::BatchTextConversion, &g_bBatchShown);
    f.RegisterModelessDialog(&m_batch->OutputFilenames(), HomeSlot::OutputFilenames, &g_bOutputFilenamesShown);
    f.RegisterModelessDialog(&m_batch->Preview(), HomeSlot::FindReplacePreview, &g_bFindReplacePreviewShown);
    auto basketItems = [this](bool selectedOnly) {
        CProgramData& d = m_frame.Data();
        const int p = d.GetCurProject(), s = d.GetCurSession(), b = d.GetCurBasket();
        std::vector<CFileItem> items;
        if (!selectedOnly) return d.GetBasketItems(p, s, b);
        for (int row : m_frame.Presenter().SelectedFileRows())
            if (row < d.GetFileItemCount(p, s, b)) items.push_back(d.GetFileItem(p, s, b, row));
        return items;
    };
    m_batch->selectedFileItems = [basketItems] { return basketItems(true); };
    m_batch->basketFileItems = [basketItems] { return basketItems(false); };
    m_batch->onShowLibrary = [this] { ShowLibrary(); };
    m_batch->selectedLibraryName = [this] { return m_library->GetSelectedLibraryName(); };
    m_batch->outputWindowText = [] { return GetOutputWindowText(); };
    m_batch->onCommand = [&f](int id) { f.ExecuteCommand(id); };
    m_batch->onJumpToSource = [this](const std::string& source, int line, int start, int end) {
        SetInputWindowText(source);
        // The text arrives through the window thread's queue; the selection follows it.
        PostToGui([source, start, end] {
            CLineTextBox* in = g_pInputWindow;
            if (!in) return;
            const int n = in->CharacterCount();
            const auto at = [&](int offset) {
                return std::clamp(BoxPositionOfOffset(source, std::size_t(std::max(offset, 0))), 0, n);
            };
            in->SetSelection(at(start), at(end));
        });
        (void)line;
        g_bInteractiveShown = true;
        // The pad first: the Attributes window is placed against its frame.
        m_workPad->show();
        m_workPad->raise();
        if (!g_bAttributesShown) ShowAttributesBeside();
    };
    m_workPad->onMacroShown = [this](const CMacro& m) { m_attributes->SetMacroAttributes(m); };
    m_workPad->onHelp = [this] { m_rules->ShowRules(); };
    // The Attributes dialog keeps its distance while shown, and waits in the
    // pad's lower-left corner while hidden.
    QObject::connect(m_workPad, &CInteractiveTextConversionDlg::moved, m_attributes, [this](const QPoint& delta) {
        if (g_bAttributesShown) {
            m_attributes->move(m_attributes->pos() + delta);
            return;
        }
        const QRect r = m_workPad->frameGeometry();
        m_attributes->move(r.left() + 4, r.bottom() - m_attributes->frameGeometry().height() - 54);
    });
    // The knob links open their pages; "Knobs..." opens the knobs dialog.
    auto previous = CHyperLink::s_usageHandler;
    CHyperLink::s_usageHandler = [this, previous](int usage) {
        if (usage >= 1 && usage <= 4) {
            m_rules->ShowTopic(1050 + usage);
        } else if (usage == 5) {
            CKnobsForFindAndReplaceDlg dlg(m_attributes);
            RunModal(dlg);
        } else if (previous) {
            previous(usage);
        }
    };
    m_previousUsageHandler = previous;
    // The pad's boxes exist from now on: the commands on the Output window follow.
    f.FileCommands().RefreshCommandStates();

    f.SetCommandHandler(32642, [this] { ShowWorkPad(); });
    // Names taken from the Output window: when too few, the pad and its
    // Attributes come up so the user sees what was read.
    SetShowOutputWindowHook([this] { ShowWorkPad(); });
    f.SetCommandHandler(32632, [this] { m_rules->ShowRules(); });
    f.SetCommandHandler(32643, [this] { m_workPad->Convert(); });
    f.SetCommandHandler(32644, [] { OnStopTextConversion(); });
    f.SetCommandHandler(32641, [this] { m_workPad->FindNext(); });
    f.SetCommandHandler(32648, [this] { m_workPad->ReplaceNext(); });

    f.SetCommandHandler(32636, [this] { ShowLibrary(); });
    f.SetCommandHandler(32629, [this] { ConvertFiles(); });
    f.SetCommandHandler(32631, [this] { m_library->ExecuteLibrary(); });
    f.SetCommandHandler(32657, [this] { m_library->MakeLibraryFromOutput(); });
    f.SetCommandHandler(32588, [this] {
        OpenTextConversionDialog(QGuiApplication::keyboardModifiers() & Qt::ControlModifier);
    });
    f.SetCommandHandler(32541, [this] { m_batch->OnDelOutput(); });
    f.SetCommandHandler(32542, [this] { m_batch->OpenInputInEditor(); });
    f.SetCommandHandler(32543, [this] { m_batch->OnDelInput(); });
    f.SetCommandHandler(32544, [this] { m_batch->SelectAllInputFiles(); });
    f.SetCommandHandler(32545, [this] { m_batch->SpecifyOutputName(); });
    f.SetCommandHandler(32630, [this] { ShowLibrary(); });

    f.SetCommandHandler(32624, [this] { ClearText(); });
    f.SetCommandHandler(32656, [this] { ChangeCase(false); });
    f.SetCommandHandler(32658, [this] { ChangeCase(true); });
    f.SetCommandHandler(32659, [this] { TextToLeft(); });
    f.SetCommandHandler(32622, [this] { AppendRight(); });
    f.SetCommandHandler(32652, [this] { SortText(); });
    f.SetCommandHandler(32593, [this] { ClearDuplicates(); });
    f.SetCommandHandler(32594, [this] { ClearMultiBreaks(); });
    f.SetCommandHandler(32596, [this] { CountFrequencyOfLines(); });
    f.SetCommandHandler(32600, [this] { ClearAllTabs(); });
    f.SetCommandHandler(32602, [this] { ViewLineBreaksOfActiveWindow(); });
    f.SetCommandHandler(32621, [this] { TabulateOrSql(false); });
    f.SetCommandHandler(32619, [this] { TabulateOrSql(true); });

    // The basket sort asks for its order here too.
    CMainFrame::s_sortPropertiesDialog = [] {
        CSortPropertiesDlg dlg(1);
        return RunModal(dlg) == QDialog::Accepted;
    };
    f.SetCommandHandler(32506, [this] {
        if (CMainFrame::s_sortPropertiesDialog()) m_frame.Presenter().OnSortBaskets(false);
    });
    // The selected file items by name (32584), host (32585) or name length (32586).
    for (int kind : {0, 1, 2})
        f.SetCommandHandler(32584 + kind, [this, kind] {
            if (CMainFrame::s_sortPropertiesDialog()) m_frame.ItemCommands().SortSelectedItems(kind, false);
        });
}

void CConversionCommands::ShowWorkPad() {
    m_workPad->ShowPad();
    ShowAttributesBeside();
}

void CConversionCommands::FillLibraryLists() {
    m_library->ShowWildCardSymbol();
    m_library->FillMacroList();
    m_library->RefillLibraryList();
}

void CConversionCommands::ShowLibrary() {
    // The lists follow the live program data, which may have been loaded anew.
    FillLibraryLists();
    m_library->ShowManager();
}

void CConversionCommands::ExecuteLibrary() {
    // The run sees the libraries as they are now; later edits do not reach it.
    g_bInputShowsTitle = false;
    auto text = std::make_shared<const std::string>(m_workPad->Input()->GetText());
    auto snapshot = std::make_shared<WorkPadSnapshot>(
        TakeWorkPadSnapshot(m_frame.Data().m_LibraryList, CurrentMacro, g_nLibIndex, 1));
    m_worker->Start(
        [snapshot, text](std::string& result, std::string& marker) {
            return RunWorkPadConversion(*snapshot, *text, result, marker, &g_bConversionBreak);
        },
        [this](std::string& result) { m_workPad->ShowOutputText(std::move(result)); },
        "(lib) over");
}

void CConversionCommands::ConvertFiles() {
    if (g_nWorkMode != 0 && g_nWorkMode != 1) {
        Prompter().Message("Invalid work-mode.", MsgIcon::Warning);
        return;
    }
    // Work mode 0 opens the WorkPad with its Attributes dialog, 1 the batch
    // window; Shift held opens the other one.
    const bool shift = QGuiApplication::keyboardModifiers() & Qt::ShiftModifier;
    if ((g_nWorkMode == 1) != shift) m_batch->ShowWindow();
    else ShowWorkPad();
}

void CConversionCommands::OpenTextConversionDialog(bool hideAll) {
    if (!hideAll) {
        ConvertFiles();
        return;
    }
    m_batch->reject();
    m_library->reject();
    g_bRulesShown = false;
    m_rules->hide();
    m_workPad->hide();
    m_attributes->hide();
    g_bInteractiveShown = g_bAttributesShown = false;
}

void CConversionCommands::ExportMacro(bool add) {
    ShowLibrary();
    if (!add) return;
    const CMacro macro = CurrentMacro;
    if (macro.Find.empty()) {
        Prompter().Message("Empty \"Find\"", MsgIcon::Warning);
        m_workPad->FindBox()->setFocus();
        return;
    }
    if (!IsMacroNewToLibrary(m_frame.Data().m_LibraryList, g_nLibIndex, macro)) {
        Prompter().Message("Macro already listed in the library.", MsgIcon::Warning);
        return;
    }
    m_library->AppendMacro(macro);
    if (g_bCloseWorkPad) {
        g_bAttributesShown = false;
        m_attributes->hide();
    }
}

void CConversionCommands::MacroToWorkPad(const CMacro& macro) {
    m_workPad->SetCurrentMacro(macro);
    g_bInteractiveShown = true;
    // The pad first: its first showing places it, and the Attributes
    // window is then put against its frame.
    m_workPad->ShowPad();
    if (!g_bAttributesShown) ShowAttributesBeside();
}

void CConversionCommands::ShowAttributesBeside() {
    m_attributes->SetMacroAttributes(CurrentMacro);
    g_bAttributesShown = true;
    // Placed once shown, when its frame has its final size.
    m_attributes->show();
    // It sits left of the pad; where the screen has no room for it there,
    // the pad makes room, as far as the screen lets it.
    if (m_workPad->isVisible()) {
        const QRect avail = m_workPad->screen()->availableGeometry();
        const int room = m_workPad->frameGeometry().left() - avail.left();
        const int need = m_attributes->frameGeometry().width() - room;
        if (need > 0) {
            m_workPad->move(m_workPad->pos() + QPoint(need, 0));
            FitOnScreen(m_workPad);
        }
    }
    m_attributes->MoveBesideWindow(*m_workPad);
    FitOnScreen(m_attributes);
    m_workPad->RememberPosition();
    m_attributes->raise();
}

void CConversionCommands::ShowInOutputWindow(const std::string& text) { SetOutputWindowText(text); }

void CConversionCommands::ClearText() {
    switch (g_nActiveTextWindow) {
        case 1: SetInputWindowText(""); break;
        case 2: SetOutputWindowText(""); break;
        case 3: m_frame.MessageWindow().Clear(); break;
        default: break;
    }
}

void CConversionCommands::ChangeCase(bool upper) {
    CLineTextBox* in = g_pInputWindow;
    CLineTextBox* out = g_pOutputWindow;
    if (!in || !out) return;
    const std::string text = GetInputWindowText();
    const int selStart = in->SelectionStart(), selEnd = in->SelectionEnd();
    const std::size_t s = OffsetOfBoxPosition(text, selStart);
    const std::size_t e = OffsetOfBoxPosition(text, selEnd);
    ShowInOutputWindow(ChangeCaseOfRange(text, s, e, upper));
    // The Output window shows the same range selected.
    if (s < e) out->SetSelection(selStart, selEnd);
    else out->SetSelection(0, out->CharacterCount());
    out->setFocus();
}

void CConversionCommands::TextToLeft() { m_workPad->TextToLeft(); }

void CConversionCommands::AppendRight() {
    CLineTextBox* in = g_pInputWindow;
    CLineTextBox* out = g_pOutputWindow;
    if (!in || !out) return;
    const std::string input = GetInputWindowText();
    const std::string block = in->HasSelection()
        ? input.substr(OffsetOfBoxPosition(input, in->SelectionStart()),
                       OffsetOfBoxPosition(input, in->SelectionEnd()) - OffsetOfBoxPosition(input, in->SelectionStart()))
        : input;
    const std::string base = GetOutputWindowText();
    // Only a caret that was put into the Output window counts.
    std::size_t caret = std::string::npos;
    if (!out->HasSelection() && g_nActiveTextWindow == 2) caret = OffsetOfBoxPosition(base, out->Position());
    ShowInOutputWindow(AppendRightText(base, block, caret));
}

void CConversionCommands::SortText() {
    CSortPropertiesDlg dlg(0, &m_frame);
    if (RunModal(dlg) != QDialog::Accepted) return;
    ShowInOutputWindow(SortTextLines(GetInputWindowText(), g_bSortAscend, g_bSortMatchCase, g_bSortRemDuplicity));
}

void CConversionCommands::ClearDuplicates() { ShowInOutputWindow(ClearDuplicateLines(GetInputWindowText())); }

void CConversionCommands::ClearMultiBreaks() {
    CLibraryList& libs = m_frame.Data().m_LibraryList;
    libs.CurrentLibrary = g_nLibIndex;
    const bool had = libs.IsValidIndex(libs.CurrentLibrary);
    const std::string out = ClearMultiLineBreaks(libs, GetInputWindowText());
    if (!had) g_nLibIndex = libs.CurrentLibrary;
    ShowInOutputWindow(out);
}

void CConversionCommands::CountFrequencyOfLines() { ShowInOutputWindow(CountFrequency(GetInputWindowText())); }

void CConversionCommands::ClearAllTabs() {
    if (!g_bConversionIdle || m_worker->IsRunning()) {
        Prompter().Message("One interactive conversion session is already on.", MsgIcon::Stop);
        return;
    }
    std::string text = GetInputWindowText();
    if (text.find('\t') == std::string::npos) {
        Prompter().Message("No tabs found in Input window text.", MsgIcon::None);
        return;
    }
    const auto answer = Prompter().AskText("Tab Amount", "Number of blanks for each tab:", std::to_string(g_nTabWidth));
    if (!answer) return;
    std::string message;
    bool warn = false;
    const int width = ParseTabWidthAnswer(*answer, message, warn);
    if (!width) {
        Prompter().Message(message, MsgIcon::None);
        return;
    }
    if (warn) Prompter().Message(message, MsgIcon::Warning);
    g_nTabWidth = width;
    m_worker->Start(
        [text = std::move(text), width](std::string& result, std::string& marker) mutable {
            if (!ExpandTabs(text, width, &g_bConversionBreak)) {
                marker = "-i-aborted";
                return false;
            }
            result = std::move(text);
            return true;
        },
        [this](std::string& result) { m_workPad->ShowOutputText(std::move(result)); },
        "untab over");
}

void CConversionCommands::ViewLineBreaksOfActiveWindow() {
    std::string text;
    switch (g_nActiveTextWindow) {
        case 1: text = GetInputWindowText(); break;
        case 2: text = GetOutputWindowText(); break;
        case 3: text = m_frame.MessageWindow().GetText(); break;
        default: break;
    }
    ShowInOutputWindow(ViewLineBreaks(text));
}

void CConversionCommands::TabulateOrSql(bool sql) {
    const std::string text = GetInputWindowText();
    const std::string first = text.substr(0, text.find('\r'));
    std::string second;
    if (sql) {
        // The text after the first line break up to the next one.
        const std::size_t cr = text.find('\r');
        if (cr != std::string::npos) {
            const std::size_t from = std::min(text.size(), cr + 2);
            second = text.substr(from, text.find('\r', from) - from);
        }
    }
    CTabulateInputTextDlg dlg(sql ? 1 : 0, first, second, &m_frame);
    if (RunModal(dlg) != QDialog::Accepted) return;
    QElapsedTimer clock;
    clock.start();
    if (!text.empty()) ShowInOutputWindow(TabulateOrWriteSql(text, dlg.Params()));
    WriteTrace(FormatElapsedTime(clock.elapsed()));
}

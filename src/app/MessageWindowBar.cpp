#include "app/MessageWindowBar.h"

#include <QContextMenuEvent>
#include <QFont>
#include <QMetaObject>
#include <QScrollBar>
#include <QTextCursor>
#include <QThread>

#include "widgets/TextRichEdit.h"
#include "widgets/TextRules.h"
#include "model/Globals.h"
#include "model/Trace.h"

CMessageWindowBar* g_wndMessageWindow = nullptr;

CMessageWindowBar::CMessageWindowBar(QWidget* parent) : CDockableCtrl(parent) {}

CMessageWindowBar::~CMessageWindowBar() {
    if (g_wndMessageWindow == this) g_wndMessageWindow = nullptr;
}

bool CMessageWindowBar::Create(const QString& title, QMainWindow* parent, int cx, int cy,
                               bool gripper, int id) {
    if (!CDockableCtrl::Create(title, parent, cx, cy, gripper, id)) return false;
    m_edit = new CTextRichEdit(0, this);
    m_edit->setObjectName("1638");
    QFont f("Lucida Console");
    f.setStyleHint(QFont::Monospace);
    f.setPointSize(9);
    m_edit->setFont(f);
    m_edit->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_edit, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
        g_nActiveTextWindow = 3;
        emit contextMenuAt(m_edit, m_edit->mapToGlobal(p));
    });
    connect(m_edit, &QPlainTextEdit::textChanged, this,
            [this] { m_empty = m_edit->document()->isEmpty(); });
    setWidget(m_edit);
    return true;
}

void CMessageWindowBar::AppendLine(const std::string& line) {
    if (QThread::currentThread() == thread()) {
        AppendOnGuiThread(line);
        return;
    }
    QMetaObject::invokeMethod(this, [this, line] { AppendOnGuiThread(line); }, Qt::QueuedConnection);
}

void CMessageWindowBar::AppendOnGuiThread(const std::string& line) {
    if (!m_edit) return;
    std::string piece = m_empty ? std::string() : std::string("\n");
    piece += FromCrLf(line);
    if (piece.empty()) return;
    QTextCursor c(m_edit->document());
    c.movePosition(QTextCursor::End);
    c.insertText(QString::fromUtf8(piece.data(), qsizetype(piece.size())));
    m_empty = m_edit->document()->isEmpty();
    QScrollBar* sb = m_edit->verticalScrollBar();
    sb->setValue(sb->maximum());
}

std::string CMessageWindowBar::GetText() const { return m_edit ? m_edit->GetText() : std::string(); }

void CMessageWindowBar::SetText(const std::string& text) {
    if (m_edit) m_edit->SetWindowTextFromString(text);
}

void CMessageWindowBar::Clear() {
    if (m_edit) m_edit->clear();
}

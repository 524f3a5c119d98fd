#include "app/TextWindows.h"

#include "app/TextRichEdit.h"

CTextRichEdit* g_pInputWindow = nullptr;
CTextRichEdit* g_pOutputWindow = nullptr;
bool g_bInputShowsTitle = true;
bool g_bOutputShowsTitle = true;

void SetTextWindows(CTextRichEdit* input, CTextRichEdit* output) {
    g_pInputWindow = input;
    g_pOutputWindow = output;
}

std::string GetInputWindowText() {
    g_bInputShowsTitle = false;
    return g_pInputWindow ? g_pInputWindow->GetText() : std::string();
}

std::string GetOutputWindowText() {
    g_bOutputShowsTitle = false;
    return g_pOutputWindow ? g_pOutputWindow->GetText() : std::string();
}

void SetInputWindowText(const std::string& text) {
    g_bInputShowsTitle = false;
    if (g_pInputWindow) g_pInputWindow->SetWindowTextFromString(text);
}

void SetOutputWindowText(const std::string& text) {
    g_bOutputShowsTitle = false;
    if (g_pOutputWindow) g_pOutputWindow->SetWindowTextFromString(text);
}

// The Input and Output text windows: the two boxes of the Interactive Text
// Conversion dialog, published here when that dialog initialises. Other
// parts reach their texts only through the access functions.
#pragma once

#include <string>

class CTextRichEdit;

extern CTextRichEdit* g_pInputWindow;
extern CTextRichEdit* g_pOutputWindow;
// Set while the box still shows the text its dialog put in at start; the
// first click in the box empties it, any access below clears the flag.
extern bool g_bInputShowsTitle;
extern bool g_bOutputShowsTitle;

// Publishes the two boxes (nullptr withdraws them).
void SetTextWindows(CTextRichEdit* input, CTextRichEdit* output);

// The texts with CR LF line breaks; empty while no box exists.
std::string GetInputWindowText();
std::string GetOutputWindowText();
void SetInputWindowText(const std::string& text);
void SetOutputWindowText(const std::string& text);

// The Input and Output text windows: the two boxes of the Interactive Text
// Conversion dialog, published here when that dialog initialises. Other
// parts reach their texts only through the core's access functions
// (GetInputWindowText, GetOutputWindowText, SetInputWindowText), which this
// file connects to the boxes.
#pragma once

#include <functional>
#include <string>

class CLineTextBox;

extern CLineTextBox* g_pInputWindow;
extern CLineTextBox* g_pOutputWindow;
// Set while the box still shows the text its dialog put in at start; the
// first click in the box empties it, any access clears the flag.
extern bool g_bInputShowsTitle;
extern bool g_bOutputShowsTitle;

// Publishes the two boxes (nullptr withdraws them) and installs the readers
// and the Input writer of the core. Safe to read and write from any thread:
// the work is done on the GUI thread.
void SetTextWindows(CLineTextBox* input, CLineTextBox* output);

// Told on the GUI thread each time SetTextWindows published or withdrew the
// boxes (commands that need them enable or disable themselves). Returns the
// id that removes the observer again.
int AddTextWindowsObserver(std::function<void()> observer);
void RemoveTextWindowsObserver(int id);

// Writes the Output window (CR LF or LF text).
void SetOutputWindowText(const std::string& text);

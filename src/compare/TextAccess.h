// Access to the texts of the Input and Output windows, and cutting a text
// into lines. The windows live in the user interface; it installs readers
// here, and everything in the core reads the windows through these calls.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Reads the whole text of one window. The reader clears the window's
// changed flag before it reads the text.
using TextWindowReader = std::function<std::string()>;

// Installs the readers of the Input and Output windows; an empty function
// removes one (the window then reads as empty).
void SetTextWindowReaders(TextWindowReader input, TextWindowReader output);

// The Input window's text with CR LF line breaks (a lone LF is read as CR LF).
std::string GetInputWindowText();
// The same for the Output window.
std::string GetOutputWindowText();

// Every lone LF of a text becomes CR LF; CR LF pairs and lone CRs stay.
std::string ToCrLfText(const std::string& text);

// The lines of a text. A line ends at a CR: a CR LF pair is one break and a
// lone CR is a break of its own (it never takes the next character with
// it); a lone LF stays inside its line. A text that ends with a break ends
// with one empty line; an empty text gives no lines.
std::vector<std::string> SplitTextIntoLines(std::string text);
// The same lines as places in text, which must outlive them.
std::vector<std::string_view> SplitTextIntoLineViews(std::string_view text);

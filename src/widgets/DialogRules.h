// Rules of the shared small dialogs and the link label that need no widget.
#pragma once

#include <optional>
#include <string>

// The text prompt's OK step: nullopt when OK must do nothing. Browse modes:
// 0 none, 1 remote folder, 2 local folder, 3 file.
//  - an empty text is refused unless the browse button is shown with mode 0;
//  - mode 1 refuses "[" without "]" and ends a text holding "/" with "/";
//  - mode 2 ends the text with "/".
std::optional<std::string> NormalisePromptText(const std::string& text, int browseMode,
                                               bool showBrowse);

// The message text box's size: width and height in pixels.
struct MessageTextSize {
    int width;
    int height;
};
MessageTextSize MessageTextLayout(const std::string& text, int maxWidth = 800);

// "Unable to open hyperlink:\n\n" + the text for the error code.
std::string HyperLinkErrorText(int code);
// An opener's command line with the URL put in place of "\"%1\"" (or "%1")
// and everything after it; without a placeholder the URL goes after a blank.
std::string BuildOpenCommand(const std::string& command, const std::string& url);

// A folder the shared dialogs may remove with its contents: absolute, not
// "/", not the home folder, not the work-area root or an ancestor of it, and
// with no "." or ".." component. The reason goes into why when refused.
bool IsSafeFolderToDelete(const std::string& path, std::string* why = nullptr);
// Removes exactly that folder with its contents; false (and why) when refused
// or when the removal fails.
bool DeleteFolderTree(const std::string& path, std::string* why = nullptr);

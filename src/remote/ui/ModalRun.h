// How the remote dialogs are run modally. The window runs them with exec();
// tests install a runner that opens the dialog with open(), works its
// controls and returns the result, so no test blocks in exec().
#pragma once

#include <QDialog>
#include <functional>

using ModalRunner = std::function<int(QDialog&)>;
// Installs a runner; an empty one restores exec(). Returns the previous one.
ModalRunner SetModalRunner(ModalRunner runner);
int RunModal(QDialog& dialog);

// How the conversion dialogs run their modal dialogs: exec(), unless a test
// installed a runner that opens the dialog, presses its buttons and returns
// the result without a blocking loop.
#pragma once

#include <QDialog>
#include <functional>

extern std::function<int(QDialog&)> g_runModalHook;

inline int RunDialogModal(QDialog& dlg) { return g_runModalHook ? g_runModalHook(dlg) : dlg.exec(); }

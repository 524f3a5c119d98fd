#include "remote/ui/ModalRun.h"

namespace {
ModalRunner g_runner;
}

ModalRunner SetModalRunner(ModalRunner runner) {
    ModalRunner old = std::move(g_runner);
    g_runner = std::move(runner);
    return old;
}

int RunModal(QDialog& dialog) {
    if (g_runner) return g_runner(dialog);
    return dialog.exec();
}

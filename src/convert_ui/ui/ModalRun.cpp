#include "convert_ui/ui/ModalRun.h"

std::function<int(QDialog&)> g_runModalHook;

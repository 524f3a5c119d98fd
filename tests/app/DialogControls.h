// Reaching a dialog's controls by their object names in the window tests.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QWidget>

// The child of that type and name; a missing one fails the test.
template <class W>
W* Control(QWidget* dlg, const char* id) {
    W* w = dlg->findChild<W*>(id);
    EXPECT_NE(w, nullptr) << id;
    return w;
}

// Clicks the named button, as the user would.
inline void Press(QWidget* dlg, const char* id) {
    if (auto* b = Control<QAbstractButton>(dlg, id)) b->click();
}

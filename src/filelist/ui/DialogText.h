// Small helpers the file-list dialogs share: text between the model's UTF-8
// strings and Qt, and a widget given its control id as object name.
#pragma once

#include <QString>
#include <QWidget>
#include <string>

namespace filelist_ui {
inline QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
inline std::string S(const QString& s) { return s.toUtf8().toStdString(); }

template <class W>
W* Named(W* w, const char* id) {
    w->setObjectName(id);
    return w;
}
}  // namespace filelist_ui

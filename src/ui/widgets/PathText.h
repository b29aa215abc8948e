#pragma once

// File names are bytes on POSIX systems; Qt maps them to text through the locale. These
// turn paths into text for the windows and back, and the engines' UTF-8 texts into QString.

#include <QFile>
#include <QString>
#include <filesystem>
#include <string>

namespace qm {

inline std::filesystem::path PathOf(const QString& text) {
    return std::filesystem::path(QFile::encodeName(text).toStdString());
}

inline QString PathText(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

inline QString Utf8(const std::string& text) { return QString::fromStdString(text); }

}  // namespace qm

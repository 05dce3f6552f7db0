#pragma once
// Parameter files on disk, for the tool: read and checked whole, or written whole. What is wrong
// is said in the tool's words, naming the file and the line.
#include <optional>

#include <QString>

#include "paramfile/param_file.h"

namespace torvex::paramset {

struct SetFile {
  std::optional<paramfile::ParamImage> image;  // empty: refused, `error` says why
  QString error;
};

// "Файл «P», строка 5: адрес 61 вне ЭСППЗУ (00-60)"; nothing of a refused file is used.
SetFile ReadSetFile(const QString& path);

// Replaces the file in one step: the old one stays whole until the new one is. Returns what went
// wrong, "Файл «P» не записан: …".
std::optional<QString> SaveSetFile(const QString& path, const paramfile::ParamImage& image,
                                   const paramfile::FileHeader& header);

// "Файл «P», строка N: …", or "Файл «P»: …" for what concerns the whole file.
QString FileErrorText(const QString& path, const paramfile::FileError& error);

}  // namespace torvex::paramset

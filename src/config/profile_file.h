#pragma once
// One value of an INI profile file, read and written as the Windows profile service does it:
// section and key names match without regard to case, and a write keeps everything else in the
// file (other sections and keys, comments, their order and spelling).
#include <stdexcept>
#include <string>
#include <utility>

#include <QString>

namespace torvex {

// The file exists but cannot be read (no access, a directory, not text), or cannot be written.
// Besides the technical text, it says for the operator why, in the window's language (the
// reason leaves out the file's own path; empty when the system did not show it).
class ProfileError : public std::runtime_error {
 public:
  ProfileError(const std::string& what, QString reason)
      : std::runtime_error(what), reason_(std::move(reason)) {}
  const QString& reason() const { return reason_; }

 private:
  QString reason_;
};

// Longest value ReadIni returns, in characters; longer ones are cut.
inline constexpr int kIniValueLimit = 254;

// The value of key in section, without the blanks around it and without the quotes around it
// when it is in a pair of double or single quotes; `fallback` when the file, the section or the
// key is missing. A key present with an empty value reads as the empty text.
QString ReadIni(const QString& path, const QString& section, const QString& key,
                const QString& fallback);

// Sets key in section to value, creating the file, the section or the key as needed. Every CR,
// LF and NUL in value becomes a blank, so the value stays on its line and the file stays text.
// Only the key's line changes (a new key goes below the section's last key, a new section at
// the end, without blank lines): the file keeps its own layout, comments and line ends (a new
// file gets the platform's). The file is replaced in one step, so a failed write leaves it as
// it was. A file that cannot be read is never written over.
void WriteIni(const QString& path, const QString& section, const QString& key,
              const QString& value);

}  // namespace torvex

#pragma once
// The settings file: an INI file read and written key by key with the usual
// profile-file semantics (missing file/section/key gives the default; sections and
// keys are matched case-insensitively; a write changes one value and keeps every
// other line). Text is UTF-8.

#include <QString>

namespace korvex {

class IniFile {
public:
    explicit IniFile(QString path) : m_path(std::move(path)) {}
    const QString& path() const { return m_path; }

    // Leading decimal number (optional sign, then digits); the default when the
    // file, section or key is missing or the value empty; 0 for a value that
    // does not start with a number (as profile-file integer reads do).
    int readInt(const QString& section, const QString& key, int defaultValue) const;
    // The value cut to at most size-1 single-byte units, a full-width
    // character counting two and a half-width one (ASCII, half-width
    // katakana) one; never inside a character.
    // Surrounding blanks are not removed here (see GetIniString).
    QString readString(const QString& section, const QString& key, const QString& defaultValue,
                       int size) const;
    // Writes one value; the first write creates the file. Returns false when the
    // file could not be written (most callers ignore it).
    bool write(const QString& section, const QString& key, const QString& value) const;

private:
    QString m_path;
};

} // namespace korvex

namespace Korvex_M01 {

// Profile calls on IniFile.
int GetIniInt(const QString& section, const QString& key, int defaultValue);
void WriteIni(const QString& section, const QString& key, const QString& value);
void WriteIni(const QString& section, const QString& key, int value);

// Reads a string of at most maxLength-1 single-byte units (IniFile::readString)
// with surrounding blanks removed.
QString GetIniString(const QString& section, const QString& key, const QString& defaultValue,
                     int maxLength);

// Splits a path at "\" (and "/") into its folder (ending with the separator) and
// the last part that contains a dot (the file name).
void SplitPath(const QString& fullPath, QString& folder, QString& file);

} // namespace Korvex_M01

#pragma once
// The matcher's folding, shared by its wildcard and regular-expression parts.

#include "matcher.h"

#include <QString>
#include <QStringView>

#include <string>
#include <vector>

namespace korvex::matcher {

// Folds `text` into `out` (code points); `origin`, when given, receives where
// each folded code point starts in `text`, plus a final text.size().
void foldInto(QStringView text, bool matchCase, bool matchByte, bool foldKana, std::u32string& out,
              std::vector<qsizetype>* origin);

// `text` folded for a regular expression into `out`: width and kana as asked,
// case left to the expression. `origin`, when given, receives the UTF-16
// index in `text` of each UTF-16 unit of `out`, plus text.size().
void foldForRegex(QStringView text, bool matchByte, bool foldKana, QString& out,
                  std::vector<qsizetype>* origin);

// A regular expression's own characters folded as the cell texts are. A
// full-width sign folded to ASCII punctuation is escaped, so that "（" stays
// a literal bracket.
QString regexSource(const QString& what, bool matchByte, bool foldKana);

} // namespace korvex::matcher

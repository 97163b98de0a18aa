#pragma once
// Where the operator manual is found: beside the program in a build folder, in the installed
// documentation, else in the source tree the program was built from.
#include <QString>
#include <QStringList>
#include <QUrl>

namespace kestrom {

enum class CHelpSection { Index, Contents };

// Candidate paths of the manual's start page, most preferred first.
QStringList HelpFileCandidates(const QString& programDir);
// The first candidate that exists, or an empty string.
QString FindHelpFile(const QStringList& candidates);
// The page opened at its index or at its table of contents.
QUrl HelpUrl(const QString& helpFile, CHelpSection section);
// "Cannot locate help file: " and the path the manual was expected at.
QString MissingHelpFileText(const QString& expectedPath);

}  // namespace kestrom

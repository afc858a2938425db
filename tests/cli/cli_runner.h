#pragma once
// Runs vantorel-cli as a user would, and reads what it printed.
#include <QString>
#include <QStringList>

namespace vantorel::test {

struct CliRun {
    int status = -1; // exit code; -1 when it crashed or timed out
    QString out, err;
};

// home, when given, stands in for the user's home folder (and so the documents folder).
CliRun cli(const QStringList& args, const QString& home = QString());
QStringList lines(const QString& text);
// Every standard-error line that reports a failure.
QStringList errorLines(const CliRun& r);

} // namespace vantorel::test

#pragma once
// Shared pieces of the command-line front end: argument parsing, errors, progress lines.
#include "imaging/progress.h"

#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>
#include <stdexcept>

namespace vantorel::cli {

// A failure to report as "error: <message>" with a non-zero exit status.
struct CliError : std::runtime_error {
    using std::runtime_error::runtime_error;
    explicit CliError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// Splits "--name value" options, "--flag" switches and positional arguments. Options not
// declared are refused, so a typo never passes silently.
class ArgParser {
public:
    ArgParser(const QStringList& args, const QSet<QString>& valueOptions,
              const QSet<QString>& flagOptions);
    const QStringList& positional() const { return m_positional; }
    bool has(const QString& name) const;
    std::optional<QString> value(const QString& name) const;
    QString valueOr(const QString& name, const QString& fallback) const;

    // Typed readers: throw CliError naming the option when the text is not a number.
    std::optional<int> intValue(const QString& name) const;
    std::optional<double> doubleValue(const QString& name) const;
    // "WxH" (also "W,H"): two numbers; throws CliError when malformed.
    std::optional<std::pair<double, double>> pairValue(const QString& name) const;

private:
    QStringList m_positional;
    QMap<QString, QString> m_values;
    QSet<QString> m_flags;
};

// Prints "<label> <percent>%" lines on standard error, one per tenth of progress.
class StderrProgress final : public imaging::Progress {
public:
    explicit StderrProgress(QString label) : m_label(std::move(label)) {}
    void setProgress(int percent) override;

private:
    QString m_label;
    int m_last = -1;
};

void printOut(const QString& line); // a line on standard output
void printErr(const QString& line); // a line on standard error

// The commands; each returns the exit status or throws CliError.
int runLibCreate(const QStringList& args);
int runLibAdd(const QStringList& args);
int runLibInfo(const QStringList& args);
int runMake(const QStringList& args);
int runRender(const QStringList& args);
int runInstallContent(const QStringList& args);

} // namespace vantorel::cli

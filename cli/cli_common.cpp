#include "cli/cli_common.h"

#include <cstdio>

namespace vantorel::cli {

ArgParser::ArgParser(const QStringList& args, const QSet<QString>& valueOptions,
                     const QSet<QString>& flagOptions) {
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (!a.startsWith(QLatin1String("--")) || a == QLatin1String("--")) {
            m_positional << a;
            continue;
        }
        QString name = a.mid(2);
        QString inlineValue;
        bool hasInline = false;
        if (const qsizetype eq = name.indexOf(QLatin1Char('=')); eq >= 0) {
            inlineValue = name.mid(eq + 1);
            name = name.left(eq);
            hasInline = true;
        }
        if (valueOptions.contains(name)) {
            if (hasInline) {
                m_values[name] = inlineValue;
            } else {
                if (i + 1 >= args.size())
                    throw CliError(QStringLiteral("option --%1 needs a value").arg(name));
                m_values[name] = args[++i];
            }
        } else if (flagOptions.contains(name) && !hasInline) {
            m_flags.insert(name);
        } else {
            throw CliError(QStringLiteral("unknown option --%1").arg(name));
        }
    }
}

bool ArgParser::has(const QString& name) const {
    return m_flags.contains(name) || m_values.contains(name);
}

std::optional<QString> ArgParser::value(const QString& name) const {
    auto it = m_values.find(name);
    if (it == m_values.end()) return std::nullopt;
    return *it;
}

QString ArgParser::valueOr(const QString& name, const QString& fallback) const {
    return value(name).value_or(fallback);
}

std::optional<int> ArgParser::intValue(const QString& name) const {
    auto v = value(name);
    if (!v) return std::nullopt;
    bool ok = false;
    const int n = v->toInt(&ok);
    if (!ok)
        throw CliError(QStringLiteral("--%1 expects a whole number, got \"%2\"").arg(name, *v));
    return n;
}

std::optional<double> ArgParser::doubleValue(const QString& name) const {
    auto v = value(name);
    if (!v) return std::nullopt;
    bool ok = false;
    const double d = v->toDouble(&ok);
    if (!ok) throw CliError(QStringLiteral("--%1 expects a number, got \"%2\"").arg(name, *v));
    return d;
}

std::optional<std::pair<double, double>> ArgParser::pairValue(const QString& name) const {
    auto v = value(name);
    if (!v) return std::nullopt;
    QStringList parts = v->split(QLatin1Char('x'), Qt::KeepEmptyParts, Qt::CaseInsensitive);
    if (parts.size() != 2) parts = v->split(QLatin1Char(','));
    bool ok1 = false, ok2 = false;
    if (parts.size() == 2) {
        const double a = parts[0].trimmed().toDouble(&ok1);
        const double b = parts[1].trimmed().toDouble(&ok2);
        if (ok1 && ok2) return std::make_pair(a, b);
    }
    throw CliError(QStringLiteral("--%1 expects WxH, got \"%2\"").arg(name, *v));
}

void StderrProgress::setProgress(int percent) {
    // Every tenth is enough for a person watching.
    const int step = percent / 10;
    if (step == m_last) return;
    m_last = step;
    std::fprintf(stderr, "%s %d%%\n", qPrintable(m_label), percent);
}

void printOut(const QString& line) {
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
}

void printErr(const QString& line) {
    std::fputs(line.toLocal8Bit().constData(), stderr);
    std::fputc('\n', stderr);
}

} // namespace vantorel::cli

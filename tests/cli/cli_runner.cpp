#include "cli_runner.h"

#include <QProcess>
#include <QTemporaryDir>

namespace vantorel::test {

CliRun cli(const QStringList& args, const QString& home) {
    // A runtime folder of our own keeps Qt's warning about a missing one off stderr.
    static const QTemporaryDir runtimeDir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    if (!home.isEmpty()) {
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    }
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VANTOREL_CLI_PATH), args);
    CliRun r;
    if (!p.waitForFinished(180000)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("timed out");
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

QStringList lines(const QString& text) {
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList errorLines(const CliRun& r) {
    QStringList found;
    for (const QString& l : lines(r.err))
        if (l.startsWith(QLatin1String("error: "))) found << l;
    return found;
}

} // namespace vantorel::test

#pragma once

// Runs a program to its end, as a terminal without a display would: for the
// suites that try the built and installed programs from outside.

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <unistd.h>

namespace testsupport {

struct Run
{
    int status = -1; // the exit code; -2 when it crashed or was killed
    QByteArray out;
    QByteArray err;
};

// No display of any kind, as on a terminal logged in over ssh.
inline QProcessEnvironment withoutDisplay()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "DESTDIR"})
        env.remove(QString::fromLatin1(name));
    return env;
}

inline Run run(const QString &program, const QStringList &arguments, const QByteArray &input = {},
    int timeoutMs = 120000, const QProcessEnvironment &env = withoutDisplay())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    Run r;
    if (!process.waitForStarted(10000)) {
        r.err = "could not start " + program.toLocal8Bit();
        return r;
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        r.err = "timed out: " + program.toLocal8Bit();
        return r;
    }
    r.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    r.out = process.readAllStandardOutput();
    r.err = process.readAllStandardError();
    return r;
}

// Runs a program in a session of its own: with no controlling terminal to
// prompt on, one that would ask for a password there fails instead of
// waiting. Status -1 when it did not start, crashed or took longer than two
// minutes.
inline Run runWithoutTerminal(
    const QString &program, const QStringList &arguments, const QByteArray &input = {})
{
    QProcess process;
    process.setChildProcessModifier([] { ::setsid(); });
    process.start(program, arguments);
    if (!process.waitForStarted())
        return {};
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

} // namespace testsupport

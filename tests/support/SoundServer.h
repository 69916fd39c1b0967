#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <optional>

namespace korsa::test {

// pactl's output; nothing when no sound server answers. Its labels are read in English.
inline std::optional<QString> Pactl(const QStringList &arguments)
{
    QProcess pactl;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    pactl.setProcessEnvironment(env);
    pactl.start(QStringLiteral("pactl"), arguments);
    if (!pactl.waitForFinished(5000) || pactl.exitStatus() != QProcess::NormalExit || pactl.exitCode() != 0)
        return std::nullopt;
    return QString::fromLocal8Bit(pactl.readAllStandardOutput());
}

// The sample formats ("s16le 1ch 22050Hz") of this process's streams on the sound server;
// playingOnly leaves out the paused (corked) ones.
inline QStringList OurStreams(bool playingOnly = false)
{
    const std::optional<QString> listing = Pactl({QStringLiteral("list"), QStringLiteral("sink-inputs")});
    if (!listing)
        qFatal("pactl list sink-inputs failed: the sound server went away during the test");
    static const QRegularExpression sample(QStringLiteral("Sample Spec\\w*: (\\S+ \\d+ch \\d+Hz)"));
    const QString ours = QStringLiteral("application.process.id = \"%1\"").arg(QCoreApplication::applicationPid());
    QStringList formats;
    for (const QString &block : listing->split(QStringLiteral("Sink Input #")))
        if (block.contains(ours) && !(playingOnly && block.contains(QStringLiteral("Corked: yes"))))
            formats << sample.match(block).captured(1);
    return formats;
}

} // namespace korsa::test

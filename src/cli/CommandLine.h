#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace halvora::cli {

// What one command accepts. Options are long only ("--json"); value options take the next
// argument or "--name=value".
struct CommandSpec {
    QString name;
    QStringList flags;
    QStringList valueOptions;
    int minArguments = 0;
    int maxArguments = 0; // -1: any number
};

const QList<CommandSpec> &commandSpecs();
const CommandSpec *findCommandSpec(const QString &name);

struct ParsedCommand {
    // Empty when only the general help or the version was asked for.
    QString command;
    QSet<QString> flags;
    QHash<QString, QString> values;
    QStringList arguments;
    bool helpRequested = false;
    bool versionRequested = false;

    bool has(const QString &flag) const { return flags.contains(flag); }
    std::optional<QString> value(const QString &option) const;
};

// Parses the arguments after the program name; throws CliError (bad usage) with a Korean
// message. "help COMMAND" and "COMMAND --help" both ask for that command's help.
ParsedCommand parseCommandLine(const QStringList &arguments);

} // namespace halvora::cli

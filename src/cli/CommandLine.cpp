#include "cli/CommandLine.h"

#include "cli/CliError.h"

namespace halvora::cli {

const QList<CommandSpec> &commandSpecs()
{
    static const QList<CommandSpec> specs{
        {"list", {"--json"}, {"--search", "--filter"}, 0, 0},
        {"show", {"--json"}, {}, 1, 1},
        {"why", {"--json"}, {}, 1, 1},
        {"set", {"--yes", "--json"}, {}, 2, 2},
        {"bulk", {"--dry-run", "--yes", "--json"}, {}, 2, -1},
        {"history", {"--json"}, {}, 0, 0},
        {"undo", {"--json"}, {}, 0, 1},
        {"export", {}, {}, 0, 1},
        {"import", {"--dry-run", "--yes", "--json"}, {}, 1, 1},
        {"check", {"--restore", "--yes", "--json", "--notify"}, {}, 0, 0},
        {"help", {}, {}, 0, 1},
    };
    return specs;
}

const CommandSpec *findCommandSpec(const QString &name)
{
    for (const CommandSpec &spec : commandSpecs()) {
        if (spec.name == name)
            return &spec;
    }
    return nullptr;
}

std::optional<QString> ParsedCommand::value(const QString &option) const
{
    const auto found = values.constFind(option);
    if (found == values.constEnd())
        return std::nullopt;
    return *found;
}

namespace {

const QString helpHint = QStringLiteral(" 'halvora-cli --help'로 사용법을 확인하세요.");

bool isOption(const QString &argument)
{
    // A lone "-" is an argument (standard input or output), not an option.
    return argument.startsWith(u'-') && argument.size() > 1;
}

} // namespace

ParsedCommand parseCommandLine(const QStringList &arguments)
{
    ParsedCommand parsed;
    if (arguments.isEmpty())
        throw CliError::usage(QStringLiteral("명령을 지정하세요.") + helpHint);

    const QString &first = arguments.first();
    if (first == u"--help" || first == u"-h") {
        parsed.helpRequested = true;
        return parsed;
    }
    if (first == u"--version") {
        parsed.versionRequested = true;
        return parsed;
    }
    const CommandSpec *spec = isOption(first) ? nullptr : findCommandSpec(first);
    if (!spec) {
        if (isOption(first))
            throw CliError::usage(QStringLiteral("알 수 없는 옵션입니다: ") + first + u'.' + helpHint);
        throw CliError::usage(QStringLiteral("알 수 없는 명령입니다: ") + first + u'.' + helpHint);
    }
    parsed.command = spec->name;

    bool optionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (optionsEnded || !isOption(argument)) {
            parsed.arguments.append(argument);
            continue;
        }
        if (argument == u"--") {
            optionsEnded = true;
            continue;
        }
        if (argument == u"--help" || argument == u"-h") {
            parsed.helpRequested = true;
            continue;
        }
        const qsizetype equals = argument.indexOf(u'=');
        const QString name = equals < 0 ? argument : argument.left(equals);
        if (spec->flags.contains(name)) {
            if (equals >= 0)
                throw CliError::usage(name + QStringLiteral(" 옵션은 값을 받지 않습니다."));
            parsed.flags.insert(name);
            continue;
        }
        if (!spec->valueOptions.contains(name)) {
            throw CliError::usage(spec->name + QStringLiteral(" 명령에 없는 옵션입니다: ") + name + u'.' +
                                  helpHint);
        }
        if (parsed.values.contains(name))
            throw CliError::usage(name + QStringLiteral(" 옵션이 두 번 주어졌습니다."));
        if (equals >= 0) {
            parsed.values.insert(name, argument.mid(equals + 1));
        } else if (i + 1 < arguments.size()) {
            parsed.values.insert(name, arguments.at(++i));
        } else {
            throw CliError::usage(name + QStringLiteral(" 옵션에 값이 필요합니다."));
        }
    }

    if (parsed.helpRequested)
        return parsed;
    if (parsed.command == u"help") {
        // "help COMMAND" is the same as "COMMAND --help".
        parsed.helpRequested = true;
        if (!parsed.arguments.isEmpty()) {
            const QString topic = parsed.arguments.first();
            if (parsed.arguments.size() > 1 || !findCommandSpec(topic))
                throw CliError::usage(QStringLiteral("알 수 없는 명령입니다: ") + topic + u'.' + helpHint);
            parsed.command = topic;
            parsed.arguments.clear();
        } else {
            parsed.command.clear();
        }
        return parsed;
    }
    if (parsed.arguments.size() < spec->minArguments) {
        throw CliError::usage(QStringLiteral("인수가 부족합니다. 'halvora-cli ") + spec->name +
                              QStringLiteral(" --help'로 사용법을 확인하세요."));
    }
    if (spec->maxArguments >= 0 && parsed.arguments.size() > spec->maxArguments) {
        throw CliError::usage(QStringLiteral("인수가 너무 많습니다: ") +
                              parsed.arguments.at(spec->maxArguments) + u'.');
    }
    return parsed;
}

} // namespace halvora::cli

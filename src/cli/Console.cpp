#include "cli/Console.h"

#include "cli/CliError.h"
#include "cli/TextTable.h"

#include <QtGlobal>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace halvora::cli {

void Console::message(const QString &text)
{
    writeErr(sanitizedForTerminal(text, true) + u'\n');
}

void Console::error(const QString &text)
{
    const QString prefix = QStringLiteral("halvora-cli: ");
    writeErr((errorsUseColour() ? coloured(prefix, CellColour::red) : prefix) +
             sanitizedForTerminal(text, true) + u'\n');
}

bool colourAllowed(bool streamIsTerminal, bool noColorSet, const QString &term)
{
    return streamIsTerminal && !noColorSet && term != u"dumb";
}

namespace {

void writeAll(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

ProcessConsole::ProcessConsole()
{
    const bool noColor = qEnvironmentVariableIsSet("NO_COLOR");
    const QString term = qEnvironmentVariable("TERM");
    inputIsTerminal_ = ::isatty(STDIN_FILENO) == 1;
    outputUsesColour_ = colourAllowed(::isatty(STDOUT_FILENO) == 1, noColor, term);
    errorsUseColour_ = colourAllowed(::isatty(STDERR_FILENO) == 1, noColor, term);
}

void ProcessConsole::writeOut(const QString &text)
{
    writeAll(stdout, text);
}

void ProcessConsole::writeErr(const QString &text)
{
    writeAll(stderr, text);
}

std::optional<QString> ProcessConsole::readLine()
{
    std::string line;
    int c = 0;
    bool any = false;
    while ((c = std::fgetc(stdin)) != EOF) {
        any = true;
        if (c == '\n')
            break;
        line.push_back(static_cast<char>(c));
    }
    if (!any)
        return std::nullopt;
    return QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
}

bool isAffirmative(const QString &answer)
{
    const QString word = answer.trimmed().toLower();
    return word == u"y" || word == u"yes" || word == u"예" || word == u"네";
}

bool confirm(Console &console, const QString &question, bool assumeYes)
{
    if (assumeYes)
        return true;
    if (!console.inputIsTerminal()) {
        throw CliError::usage(QStringLiteral("표준 입력이 터미널이 아니어서 확인을 받을 수 없습니다. "
                                             "확인 없이 적용하려면 --yes를 주세요."));
    }
    console.writeErr(sanitizedForTerminal(question, true) + QStringLiteral(" 계속할까요? [y/N] "));
    const std::optional<QString> answer = console.readLine();
    if (!answer)
        console.writeErr(QStringLiteral("\n"));
    return answer && isAffirmative(*answer);
}

} // namespace halvora::cli

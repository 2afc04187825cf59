#include "cli/Console.h"

#include "cli/CliError.h"
#include "cli/TextTable.h"

#include <QtGlobal>

#include <cerrno>
#include <cstdio>
#include <cstring>
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

// Whether every byte reached the stream's file, flush included.
bool writeAll(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    const size_t size = static_cast<size_t>(bytes.size());
    const bool written = std::fwrite(bytes.constData(), 1, size, stream) == size;
    return std::fflush(stream) == 0 && written;
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
    errno = 0;
    if (!writeAll(stdout, text)) {
        const int error = errno;
        // Later writes must not add half a line to what did get through.
        std::clearerr(stdout);
        throw CliError(ExitCode::systemFailure, QStringLiteral("표준 출력에 쓸 수 없습니다: ") +
                                                    (error != 0 ? QString::fromLocal8Bit(std::strerror(error))
                                                                : QStringLiteral("알 수 없는 오류")));
    }
}

void ProcessConsole::writeErr(const QString &text)
{
    // Nowhere left to tell about a failure here.
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

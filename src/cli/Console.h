#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace halvora::cli {

// Where the commands write data and messages and read confirmations. The real one wraps
// the process's standard streams; tests give their own.
class Console {
public:
    virtual ~Console() = default;

    // Throws CliError (system failure) when the text cannot be written in full.
    virtual void writeOut(const QString &text) = 0;
    virtual void writeErr(const QString &text) = 0;
    // One line from standard input without its line break; none at end of input.
    virtual std::optional<QString> readLine() = 0;

    virtual bool inputIsTerminal() const = 0;
    // Whether escape sequences may go to standard output or standard error.
    virtual bool outputUsesColour() const = 0;
    virtual bool errorsUseColour() const = 0;

    // A message line on standard error, made safe for a terminal.
    void message(const QString &text);
    void error(const QString &text);
};

// Colour only on a terminal, never when NO_COLOR is set (whatever its value) or the
// terminal says it cannot show it.
bool colourAllowed(bool streamIsTerminal, bool noColorSet, const QString &term);

// The console over stdin, stdout and stderr of this process.
class ProcessConsole final : public Console {
public:
    ProcessConsole();

    void writeOut(const QString &text) override;
    void writeErr(const QString &text) override;
    std::optional<QString> readLine() override;

    bool inputIsTerminal() const override { return inputIsTerminal_; }
    bool outputUsesColour() const override { return outputUsesColour_; }
    bool errorsUseColour() const override { return errorsUseColour_; }

private:
    bool inputIsTerminal_;
    bool outputUsesColour_;
    bool errorsUseColour_;
};

// Asks on standard error whether to go on, unless assumeYes. Without a terminal to ask on
// it refuses (CliError, bad usage) rather than guessing. Returns whether to go on.
bool confirm(Console &console, const QString &question, bool assumeYes);

// "y", "yes", "예", "네" in any case, with surrounding blanks.
bool isAffirmative(const QString &answer);

} // namespace halvora::cli

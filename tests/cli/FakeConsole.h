#pragma once

#include "cli/Console.h"

#include <QStringList>

namespace halvora::cli::test {

// A console whose input is a scripted list of lines and whose output is collected.
class FakeConsole final : public Console {
public:
    QString out;
    QString err;
    QStringList input;
    bool terminal = false;
    bool colour = false;
    int linesRead = 0;

    void writeOut(const QString &text) override { out += text; }
    void writeErr(const QString &text) override { err += text; }
    std::optional<QString> readLine() override
    {
        ++linesRead;
        if (input.isEmpty())
            return std::nullopt;
        return input.takeFirst();
    }
    bool inputIsTerminal() const override { return terminal; }
    bool outputUsesColour() const override { return colour; }
    bool errorsUseColour() const override { return colour; }
};

} // namespace halvora::cli::test

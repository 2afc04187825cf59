#pragma once

#include "WindowTestSupport.h"

#include "app/PresentationQueue.h"
#include "app/commands/ChangeCommands.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTest>

#include <stdexcept>

namespace halvora::test {

using Op = ScriptedFileAssociationManager::Operation;

inline AssociationChangeRecord record(const QString &id, const QString &extension,
                                      std::optional<AssociatedApp> previous,
                                      AssociationVerificationStatus status,
                                      std::optional<QString> message = std::nullopt)
{
    return AssociationChangeRecord(id, extension, u"application/x-"_qs + extension, std::move(previous),
                                   editor, Timestamp(800000000.0), status, std::move(message));
}

// The window with its change commands, shown and loaded with pdf, txt and md.
class ChangeCommandTest : public WindowTest {
protected:
    void SetUp() override
    {
        commands = installChangeCommands(window(), ChangeCommandsOptions{std::nullopt});
        showWith({
            association(u"pdf"_qs, viewer, {viewer, editor}),
            association(u"txt"_qs, editor, {editor, viewer, player}),
            association(u"md"_qs, std::nullopt, {editor}),
        });
    }

    const FileAssociation &listed(const QString &extension) const
    {
        for (const FileAssociation &a : state.associations()) {
            if (a.fileExtension() == extension)
                return a;
        }
        throw std::runtime_error("not listed");
    }

    QDialog *current() { return window().presentations().currentDialog(); }
    QString currentKey() { return window().presentations().currentKey(); }

    // The dialog's button with this exact text, or null.
    static QAbstractButton *button(QWidget *dialog, const QString &text)
    {
        for (QAbstractButton *b : dialog->findChildren<QAbstractButton *>()) {
            if (b->text() == text)
                return b;
        }
        return nullptr;
    }

    static QStringList menuTexts(QMenu *menu)
    {
        QStringList texts;
        for (QAction *action : menu->actions())
            texts.append(action->isSeparator() ? u"---"_qs : action->text());
        return texts;
    }

    void checkForBulk(const QStringList &extensions)
    {
        state.setBulkSelectionEnabled(true);
        for (const QString &extension : extensions)
            state.toggleBulkSelection(listed(extension));
    }

    ChangeCommands *commands = nullptr;
};

} // namespace halvora::test

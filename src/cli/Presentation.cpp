#include "cli/Presentation.h"

#include "cli/TextTable.h"
#include "core/model/ModelJson.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace halvora::cli {

namespace {

const QString none = QStringLiteral("없음");

CellColour colourOf(AssociationVerificationStatus status)
{
    return isFailure(status) ? CellColour::red : CellColour::green;
}

CellColour colourOf(BulkAssociationRowStatus status)
{
    switch (status) {
    case BulkAssociationRowStatus::ready:
        return CellColour::green;
    case BulkAssociationRowStatus::skipped:
        return CellColour::dim;
    case BulkAssociationRowStatus::blocked:
        return CellColour::yellow;
    }
    return CellColour::none;
}

QString dotted(const QString &extension)
{
    return u'.' + extension;
}

QString localTime(const AssociationChangeRecord &record)
{
    return record.changedAt().toDateTime().toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

QString appLabel(const AssociatedApp &app)
{
    return app.name() + QStringLiteral(" (") + app.bundleIdentifier() + u')';
}

QString outcomeText(const AssociationChangeRecord &record)
{
    return record.verificationMessage().value_or(title(record.verificationStatus()));
}

QString associationTable(const QList<FileAssociation> &associations, bool colour)
{
    const QList<TableColumn> columns{{QStringLiteral("확장자")},
                                     {QStringLiteral("UTI")},
                                     {QStringLiteral("현재 기본 앱")},
                                     {QStringLiteral("호환 앱"), true}};
    QList<QList<TableCell>> rows;
    for (const FileAssociation &association : associations) {
        const TableCell current = association.currentApp() ? TableCell{association.currentApp()->name()}
                                                           : TableCell{none, CellColour::yellow};
        rows.append({{dotted(association.fileExtension())},
                     {association.contentTypeIdentifier()},
                     current,
                     {QString::number(association.candidateApps().size())}});
    }
    return renderTable(columns, rows, colour);
}

QString associationDetail(const FileAssociation &association, bool colour)
{
    QString out = sanitizedForTerminal(dotted(association.fileExtension())) + u'\n';
    out += QStringLiteral("UTI: ") + sanitizedForTerminal(association.contentTypeIdentifier()) + u'\n';
    out += QStringLiteral("현재 기본 앱: ");
    if (const auto &current = association.currentApp()) {
        out += sanitizedForTerminal(appLabel(*current)) + u'\n';
        out += QStringLiteral("  ") + sanitizedForTerminal(current->url().toLocalFile()) + u'\n';
    } else {
        out +=
            coloured(QStringLiteral("등록된 기본 앱 없음"), colour ? CellColour::yellow : CellColour::none) +
            u'\n';
    }
    if (association.candidateApps().isEmpty()) {
        out += QStringLiteral("호환 앱 없음\n");
        return out;
    }
    out += QStringLiteral("호환 앱:\n");
    QList<QList<TableCell>> rows;
    for (const AssociatedApp &app : association.candidateApps()) {
        const bool isCurrent = association.currentApp() &&
                               association.currentApp()->bundleIdentifier() == app.bundleIdentifier();
        rows.append({{isCurrent ? QStringLiteral("현재") : QString(), CellColour::green},
                     {app.name()},
                     {app.bundleIdentifier()},
                     {app.url().toLocalFile(), CellColour::dim}});
    }
    const QString table =
        renderTable({{QString()}, {QStringLiteral("이름")}, {QStringLiteral("ID")}, {QStringLiteral("위치")}},
                    rows, colour);
    // Indent the candidate table under its heading.
    for (const QString &line : table.split(u'\n', Qt::SkipEmptyParts))
        out += QStringLiteral("  ") + line + u'\n';
    return out;
}

QString changeRecordText(const AssociationChangeRecord &record, bool colour)
{
    const AssociationVerificationStatus status = record.verificationStatus();
    QString out = coloured(title(status), colour ? colourOf(status) : CellColour::none) +
                  QStringLiteral("  ") +
                  sanitizedForTerminal(dotted(record.fileExtension()) + QStringLiteral("  ") +
                                       record.changeDescription()) +
                  u'\n';
    if (record.verificationMessage())
        out += QStringLiteral("  ") + sanitizedForTerminal(*record.verificationMessage()) + u'\n';
    out += QStringLiteral("  ID: ") + sanitizedForTerminal(record.id()) + QStringLiteral("  시각: ") +
           localTime(record) + u'\n';
    return out;
}

QString historyTable(const QList<AssociationChangeRecord> &records, bool colour)
{
    const QList<TableColumn> columns{{QStringLiteral("시각")}, {QStringLiteral("확장자")},
                                     {QStringLiteral("상태")}, {QStringLiteral("변경")},
                                     {QStringLiteral("ID")},   {QStringLiteral("메시지")}};
    QList<QList<TableCell>> rows;
    for (const AssociationChangeRecord &record : records) {
        rows.append({{localTime(record)},
                     {dotted(record.fileExtension())},
                     {title(record.verificationStatus()), colourOf(record.verificationStatus())},
                     {record.changeDescription()},
                     {record.id(), CellColour::dim},
                     {record.verificationMessage().value_or(QString())}});
    }
    return renderTable(columns, rows, colour);
}

QString planTable(const BulkAssociationChangePlan &plan, bool colour)
{
    QString out = QStringLiteral("대상 앱: ") + sanitizedForTerminal(appLabel(plan.targetApp())) + u'\n';
    const QList<TableColumn> columns{{QStringLiteral("확장자")},
                                     {QStringLiteral("현재 기본 앱")},
                                     {QStringLiteral("상태")},
                                     {QStringLiteral("비고")}};
    QList<QList<TableCell>> rows;
    for (const BulkAssociationChangeRow &row : plan.rows()) {
        const auto &current = row.association().currentApp();
        rows.append({{dotted(row.association().fileExtension())},
                     {current ? current->name() : none},
                     {title(row.status()), colourOf(row.status())},
                     {row.note().value_or(QString())}});
    }
    return out + renderTable(columns, rows, colour);
}

QJsonObject planJson(const BulkAssociationChangePlan &plan)
{
    QJsonArray rows;
    for (const BulkAssociationChangeRow &row : plan.rows()) {
        QJsonObject object{{"association", toJson(row.association())},
                           {"status", toJson(row.status())},
                           {"title", title(row.status())}};
        if (row.note())
            object.insert(QStringLiteral("note"), *row.note());
        rows.append(object);
    }
    return QJsonObject{{"targetApp", toJson(plan.targetApp())},
                       {"rows", rows},
                       {"readyCount", plan.readyCount()},
                       {"skippedCount", plan.skippedCount()},
                       {"blockedCount", plan.blockedCount()}};
}

QJsonObject summaryJson(const BulkAssociationApplySummary &summary)
{
    return QJsonObject{
        {"verifiedCount", summary.verifiedCount()},     {"failedCount", summary.failedCount()},
        {"skippedCount", summary.skippedCount()},       {"blockedCount", summary.blockedCount()},
        {"unrecordedCount", summary.unrecordedCount()}, {"message", summary.message()}};
}

QString jsonText(const QJsonValue &value)
{
    QJsonDocument document;
    if (value.isArray())
        document = QJsonDocument(value.toArray());
    else if (value.isObject())
        document = QJsonDocument(value.toObject());
    else
        return QString::fromUtf8(
                   QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).mid(1).chopped(1)) +
               u'\n';
    return QString::fromUtf8(document.toJson(QJsonDocument::Indented));
}

} // namespace halvora::cli

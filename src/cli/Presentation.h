#pragma once

#include "core/model/Models.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

namespace halvora::cli {

// Human output: aligned tables with the window's Korean headings. `colour` only adds
// escape sequences; the text is the same without it.
QString associationTable(const QList<FileAssociation> &associations, bool colour);
QString associationDetail(const FileAssociation &association, bool colour);
QString changeRecordText(const AssociationChangeRecord &record, bool colour);
QString historyTable(const QList<AssociationChangeRecord> &records, bool colour);
QString planTable(const BulkAssociationChangePlan &plan, bool colour);

// "Name (id)".
QString appLabel(const AssociatedApp &app);
// The text the user sees for an outcome: the record's message, else its status title.
QString outcomeText(const AssociationChangeRecord &record);

// Machine output. A plan row is the association's own JSON form with its status and note.
QJsonObject planJson(const BulkAssociationChangePlan &plan);
QJsonObject summaryJson(const BulkAssociationApplySummary &summary);
// One JSON document per invocation, indented, ending in a line break.
QString jsonText(const QJsonValue &value);

} // namespace halvora::cli

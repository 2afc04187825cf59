#include "linux/mimeapps/MimeAppsWriter.h"

#include "core/model/FileAssociationError.h"
#include "linux/mimeapps/ChangeJournal.h"
#include "linux/mimeapps/DurableFile.h"
#include "linux/mimeapps/GioProbe.h"
#include "linux/mimeapps/MimeAppsListEditor.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QProcess>

#include <utility>

namespace halvora::mimeapps {

namespace {

// A list the change will replace (or remove), with what it holds now.
struct PlannedList {
    QString path;
    ListKind kind = ListKind::general;
    FileSnapshot file;
    QByteArray next;
    bool remove = false;
};

QString kindName(ListKind kind)
{
    return kind == ListKind::general ? QStringLiteral("general") : QStringLiteral("desktop");
}

// What the planned lists hold for the type now; lines as base64, since a list need not be
// UTF-8 and must come back byte for byte.
QJsonArray imagesOf(const QList<PlannedList> &plan, const QString &type)
{
    QJsonArray lists;
    for (const PlannedList &list : plan) {
        QJsonArray entries;
        for (const EntryImage &entry : ListEditor::image(list.file.bytes, type, list.kind)) {
            QJsonArray lines;
            for (const QByteArray &line : entry.lines)
                lines.append(QString::fromLatin1(line.toBase64()));
            entries.append(QJsonObject{{QStringLiteral("group"), entry.group},
                                       {QStringLiteral("groupExisted"), entry.groupExisted},
                                       {QStringLiteral("lines"), lines}});
        }
        lists.append(QJsonObject{{QStringLiteral("path"), list.path},
                                 {QStringLiteral("kind"), kindName(list.kind)},
                                 {QStringLiteral("existed"), list.file.exists},
                                 {QStringLiteral("entries"), entries}});
    }
    return lists;
}

QList<EntryImage> entriesFrom(const QJsonArray &json)
{
    QList<EntryImage> entries;
    for (const QJsonValue &value : json) {
        EntryImage entry{
            value[QStringLiteral("group")].toString(), {}, value[QStringLiteral("groupExisted")].toBool()};
        for (const QJsonValue &line : value[QStringLiteral("lines")].toArray())
            entry.lines.append(QByteArray::fromBase64(line.toString().toLatin1()));
        entries.append(std::move(entry));
    }
    return entries;
}

[[noreturn]] void refuse(const QString &message)
{
    throw FileAssociationError::systemFailure(message);
}

FileSnapshot readList(const QString &path)
{
    try {
        return readRegularFile(path);
    } catch (const ListFileError &error) {
        refuse(error.localizedDescription());
    }
}

void write(const PlannedList &list)
{
    if (list.remove)
        removeDurably(list.file);
    else if (list.next != list.file.bytes || !list.file.exists)
        replaceDurably(list.file, list.next);
}

void writeAll(const QList<PlannedList> &plan)
{
    try {
        for (const PlannedList &list : plan)
            write(list);
    } catch (const ListFileError &error) {
        refuse(error.localizedDescription());
    }
}

struct ProbeAnswer {
    std::optional<QString> defaultId;
};

// GIO asked in a process of its own, started at once and answered when needed, so that the
// resolver's own reading runs while the probe starts up.
class GioQuestion {
public:
    GioQuestion(const XdgEnvironment &environment, QString type) : type_(std::move(type))
    {
        const std::optional<QString> probe = findGioProbe();
        if (!probe)
            return;
        // The same directories as this program reads, whatever the process environment says.
        QProcessEnvironment childEnvironment = QProcessEnvironment::systemEnvironment();
        childEnvironment.insert(QStringLiteral("XDG_CONFIG_HOME"), environment.configHome);
        childEnvironment.insert(QStringLiteral("XDG_CONFIG_DIRS"), environment.configDirs.join(u':'));
        childEnvironment.insert(QStringLiteral("XDG_DATA_HOME"), environment.dataHome);
        childEnvironment.insert(QStringLiteral("XDG_DATA_DIRS"), environment.dataDirs.join(u':'));
        childEnvironment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), environment.desktops.join(u':'));
        childEnvironment.insert(QStringLiteral("GIO_USE_VFS"), QStringLiteral("local"));
        process_.setProcessEnvironment(childEnvironment);
        process_.start(*probe, {type_});
        started_ = true;
    }

    // An unasked question ends its process.
    ~GioQuestion()
    {
        if (started_ && process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(30000);
        }
    }

    GioQuestion(const GioQuestion &) = delete;
    GioQuestion &operator=(const GioQuestion &) = delete;

    std::optional<ProbeAnswer> answer()
    {
        if (!started_ || !process_.waitForFinished(30000) || process_.exitStatus() != QProcess::NormalExit ||
            process_.exitCode() != 0)
            return std::nullopt;
        for (const GioProbeLine &line : parseGioProbeOutput(process_.readAllStandardOutput())) {
            if (line.type == type_)
                return ProbeAnswer{line.defaultId};
        }
        return std::nullopt;
    }

private:
    QString type_;
    QProcess process_;
    bool started_ = false;
};

} // namespace

MimeAppsWriter::MimeAppsWriter(std::shared_ptr<const MimeAppsResolver> resolver, QString lockPath)
    : resolver_(std::move(resolver)),
      lockPath_(lockPath.isEmpty()
                    ? JournaledChangeGuard::defaultStateDirectory() + QStringLiteral("/change.lock")
                    : std::move(lockPath))
{}

QString MimeAppsWriter::userList() const
{
    return resolver_->environment().configHome + QStringLiteral("/mimeapps.list");
}

QStringList MimeAppsWriter::desktopLists() const
{
    QStringList lists;
    for (const QString &desktop : resolver_->environment().desktopFilePrefixes())
        lists.append(resolver_->environment().configHome + u'/' + desktop + QStringLiteral("-mimeapps.list"));
    return lists;
}

void MimeAppsWriter::setDefault(const QString &desktopEntryPath, const QString &type) const
{
    const std::shared_ptr<ActiveChange> active = ActiveChange::current();
    std::optional<ChangeLock> ownLock;
    if (!active)
        ownLock.emplace(lockPath_);

    const QString unloadable = QStringLiteral("'%1' 데스크톱 항목을 응용프로그램으로 불러올 수 없습니다.");
    if (!QFileInfo(desktopEntryPath).isFile())
        refuse(unloadable.arg(desktopEntryPath));
    // An entry that no applications directory provides under its ID would be written as an
    // ID that never resolves.
    const std::optional<QString> id = resolver_->desktopIdForPath(desktopEntryPath);
    if (!id) {
        refuse(QStringLiteral(
                   "'%1'은(는) 응용 프로그램 폴더에 설치된 데스크톱 항목이 아니어서 기본 앱으로 정할 수 "
                   "없습니다. 이 파일을 ~/.local/share/applications 폴더에 넣은 뒤 다시 고르세요.")
                   .arg(desktopEntryPath));
    }
    if (!resolver_->application(*id))
        refuse(QStringLiteral("'%1' 데스크톱 항목을 응용프로그램으로 불러올 수 없습니다.")
                   .arg(desktopEntryPath));

    // An undo first puts back what the lists held before the change it undoes.
    if (const std::optional<ChangeIntent> intent = active ? active->intent() : std::nullopt;
        intent && intent->kind == ChangeIntent::Kind::undo) {
        if (const std::optional<QJsonArray> lists = active->listsChangedBy(intent->record.id())) {
            QList<PlannedList> plan;
            for (const QJsonValue &list : *lists) {
                PlannedList planned;
                planned.path = list[QStringLiteral("path")].toString();
                planned.kind = list[QStringLiteral("kind")].toString() == QStringLiteral("general")
                                   ? ListKind::general
                                   : ListKind::desktopSpecific;
                planned.file = readList(planned.path);
                try {
                    planned.next = ListEditor::restore(
                        planned.file.bytes, type, entriesFrom(list[QStringLiteral("entries")].toArray()));
                } catch (const ListSyntaxError &error) {
                    refuse(error.inFile(planned.path).localizedDescription());
                }
                planned.remove = planned.file.exists && !list[QStringLiteral("existed")].toBool() &&
                                 planned.next.isEmpty();
                plan.append(std::move(planned));
            }
            active->recordLists(imagesOf(plan, type));
            writeAll(plan);
            // When the system changed since, the lists as they were no longer give the
            // previous app; then it is set like any other.
            const DefaultAnswer now = resolver_->defaultFor(type);
            if (now.app && now.app->desktopId == *id)
                return;
        }
    }

    QList<PlannedList> plan;
    PlannedList user{userList(), ListKind::general, readList(userList()), {}};
    try {
        user.next = ListEditor::makeDefault(user.file.bytes, type, *id, ListKind::general);
    } catch (const ListSyntaxError &error) {
        refuse(error.inFile(user.path).localizedDescription());
    }
    plan.append(std::move(user));
    for (const QString &path : desktopLists()) {
        // A desktop-specific list comes first only where it names a default for the type;
        // one GIO cannot read does not count, so it is left alone.
        try {
            FileSnapshot file = readRegularFile(path);
            if (!file.exists || ListEditor::items(file.bytes, ListEditor::defaultGroup, type).isEmpty())
                continue;
            QByteArray next = ListEditor::makeDefault(file.bytes, type, *id, ListKind::desktopSpecific);
            plan.append(PlannedList{path, ListKind::desktopSpecific, std::move(file), std::move(next)});
        } catch (const LocalizedError &) {
            continue;
        }
    }

    if (active)
        active->recordLists(imagesOf(plan, type));
    writeAll({plan.first()});
    // A desktop-specific list that cannot be written keeps deciding; verification names it.
    for (qsizetype i = 1; i < plan.size(); ++i) {
        try {
            write(plan[i]);
        } catch (const ListFileError &) {
        }
    }
}

std::optional<QString> MimeAppsWriter::disagreement(const QString &type, const QString &expectedId) const
{
    GioQuestion gio(resolver_->environment(), type);
    const DefaultAnswer answer = resolver_->defaultFor(type);
    const bool resolverAgrees = answer.app && answer.app->desktopId == expectedId;
    if (!resolverAgrees && answer.app && !answer.source.file.isEmpty() &&
        QDir::cleanPath(answer.source.file) != QDir::cleanPath(userList())) {
        return QStringLiteral(
                   "'%1' 파일 %2번째 줄의 [%3] 항목이 기본 앱을 '%4'(으)로 정하고 있어 바꾼 설정이 "
                   "적용되지 않았습니다.")
            .arg(answer.source.file)
            .arg(answer.source.line)
            .arg(QString::fromUtf8(listGroupName(answer.source.group, answer.source.fileKind)),
                 answer.app->desktopId);
    }
    const std::optional<ProbeAnswer> gioAnswer = gio.answer();
    if (!gioAnswer)
        return QStringLiteral("GIO 확인 프로그램(%1)을 실행할 수 없어 바꾼 설정을 확인하지 못했습니다.")
            .arg(QString::fromLatin1(gioProbeProgramName));
    if (resolverAgrees && gioAnswer->defaultId != expectedId) {
        if (!gioAnswer->defaultId)
            return QStringLiteral("GIO는 이 형식의 기본 앱이 없다고 알려 줍니다.");
        return QStringLiteral("GIO는 기본 앱을 '%1'(으)로 알려 줍니다.").arg(*gioAnswer->defaultId);
    }
    return std::nullopt;
}

} // namespace halvora::mimeapps

#include "linux/desktop/ResolverApplications.h"

#include "core/model/FileAssociationError.h"
#include "linux/mimeapps/MimeAppsWriter.h"

#include <QDir>
#include <QFileInfo>

#include <mutex>

namespace halvora {

std::shared_ptr<const MimeAppsResolver> processResolver()
{
    static std::mutex mutex;
    static std::shared_ptr<const MimeAppsResolver> resolver;
    XdgEnvironment environment = XdgEnvironment::fromProcess();
    const std::lock_guard lock(mutex);
    if (!resolver || !(resolver->environment() == environment))
        resolver = std::make_shared<const MimeAppsResolver>(std::move(environment));
    return resolver;
}

namespace {

DesktopEntry entryOf(const ResolvedApp &app)
{
    return DesktopEntry{QUrl::fromLocalFile(app.path), app.desktopId, app.localizedName, app.name};
}

// Paths under the home directory are shown from "~", as people write them.
QString shown(const QString &path, const QString &home)
{
    if (!home.isEmpty() && home != QStringLiteral("/") && path.startsWith(home + u'/'))
        return u'~' + path.mid(home.size());
    return path;
}

QString groupName(const ListSource &source)
{
    return QString::fromLatin1(listGroupName(source.group, source.fileKind));
}

QString place(const ListSource &source, const QString &home)
{
    return QStringLiteral("%1 %2행 [%3]")
        .arg(shown(source.file, home))
        .arg(source.line)
        .arg(groupName(source));
}

QString reasonText(SkipReason reason)
{
    switch (reason) {
    case SkipReason::notInstalled:
        return QStringLiteral("설치되어 있지 않음");
    case SkipReason::failedToLoad:
        return QStringLiteral("응용프로그램으로 불러올 수 없음");
    case SkipReason::tryExecNotFound:
        return QStringLiteral("TryExec의 프로그램이 없음");
    case SkipReason::execNotFound:
        return QStringLiteral("Exec의 프로그램이 없음");
    case SkipReason::hidden:
        return QStringLiteral("숨김(Hidden) 항목");
    case SkipReason::removed:
        return QStringLiteral("[Removed Associations]에서 제외됨");
    case SkipReason::masked:
        break;
    }
    return QStringLiteral("앞선 디렉터리의 같은 ID 항목에 가려짐");
}

bool userFile(const XdgEnvironment &environment, const ListSource &source)
{
    return source.inUserConfig || source.file.startsWith(environment.dataHome + u'/');
}

DefaultApplicationOrigin describeOrigin(const XdgEnvironment &environment, const QString &queryType,
                                        const DefaultAnswer &answer, const QString &home)
{
    DefaultApplicationOrigin origin;
    for (const SkippedApp &skipped : answer.skipped) {
        origin.chain.append(
            QStringLiteral("%1: %2에 있지만 %3")
                .arg(skipped.desktopId, place(skipped.source, home), reasonText(skipped.reason)));
    }
    if (!answer.app) {
        origin.summary = QStringLiteral("기본 앱 없음: 이 형식을 여는 앱이 지정되어 있지 않음");
        origin.chain.append(origin.summary);
        return origin;
    }
    const ListSource &source = answer.source;
    const bool named = source.group == ListGroupKind::defaults;
    if (!named)
        origin.summary = QStringLiteral("지정된 기본 앱 없음: 첫 번째 호환 앱");
    else if (userFile(environment, source) && source.fileKind == ListFileKind::desktopMimeApps)
        origin.summary =
            QStringLiteral("데스크톱별 목록 %1 %2행에서 지정").arg(shown(source.file, home)).arg(source.line);
    else if (userFile(environment, source))
        origin.summary = QStringLiteral("%1 %2행에서 지정").arg(shown(source.file, home)).arg(source.line);
    else
        origin.summary = QStringLiteral("시스템 목록 %1에서 지정").arg(source.file);
    if (answer.type != queryType)
        origin.summary += QStringLiteral(" (상위 형식 %1에서 물려받음)").arg(answer.type);

    QString last =
        named ? QStringLiteral("%1: %2에서 기본 앱으로 지정").arg(answer.app->desktopId, place(source, home))
              : QStringLiteral("%1: 기본 앱 지정이 없어 첫 번째 호환 앱 (%2)")
                    .arg(answer.app->desktopId, place(source, home));
    if (answer.type != queryType)
        last += QStringLiteral(", 상위 형식 %1").arg(answer.type);
    if (answer.app->hidden)
        last += QStringLiteral(" — 숨김(Hidden) 항목이지만 데스크톱은 기본 앱으로 씀");
    origin.chain.append(last);

    const QString userList = QDir::cleanPath(environment.configHome + QStringLiteral("/mimeapps.list"));
    origin.decidedOutsideUserList = QDir::cleanPath(source.file) != userList;
    origin.overridesUserList = answer.overridesUserList;
    if (origin.overridesUserList)
        origin.chain.append(
            QStringLiteral("사용자 목록 %1의 지정보다 이 목록이 앞섬").arg(shown(userList, home)));
    return origin;
}

} // namespace

ResolverApplications::ResolverApplications(std::shared_ptr<const MimeAppsResolver> resolver)
    : resolver_(std::move(resolver))
{}

std::optional<DesktopEntry> ResolverApplications::defaultApplication(const QString &contentType) const
{
    const DefaultAnswer answer = resolver_->defaultFor(contentType);
    if (!answer.app)
        return std::nullopt;
    return entryOf(*answer.app);
}

QList<DesktopEntry> ResolverApplications::applications(const QString &contentType) const
{
    QList<DesktopEntry> entries;
    for (const CandidateAnswer &candidate : resolver_->candidatesFor(contentType))
        entries.append(entryOf(candidate.app));
    return entries;
}

void ResolverApplications::inOneReading(const std::function<void()> &work) const
{
    resolver_->withSnapshot(work);
}

std::optional<DefaultApplicationOrigin>
ResolverApplications::defaultApplicationOrigin(const QString &contentType) const
{
    std::optional<DefaultApplicationOrigin> origin;
    // Asked once: every path of the texts is shown against it.
    const QString home = QDir::homePath();
    resolver_->withSnapshot([&] {
        const DefaultAnswer answer = resolver_->defaultFor(contentType);
        origin = describeOrigin(resolver_->environment(), answer.queryType, answer, home);
        for (const CandidateAnswer &candidate : resolver_->candidatesFor(contentType)) {
            QString source = place(candidate.source, home);
            if (candidate.type != answer.queryType)
                source += QStringLiteral(" (상위 형식 %1)").arg(candidate.type);
            origin->candidates.append({candidate.app.desktopId, source});
        }
    });
    return origin;
}

void ResolverApplications::setDefaultApplication(const QUrl &application, const QString &contentType) const
{
    // Our own writer: it keeps every other byte of the lists, follows links, replaces
    // atomically and takes the change lock (see MimeAppsWriter).
    const mimeapps::MimeAppsWriter writer(resolver_);
    writer.setDefault(application.isLocalFile() ? application.toLocalFile() : application.toString(),
                      contentType);
}

ResolverDesktopEntries::ResolverDesktopEntries(std::shared_ptr<const MimeAppsResolver> resolver)
    : resolver_(std::move(resolver))
{}

std::optional<DesktopEntry> ResolverDesktopEntries::read(const QUrl &fileUrl) const
{
    if (!fileUrl.isLocalFile())
        return std::nullopt;
    const std::optional<ResolvedApp> app = resolver_->entryAt(fileUrl.toLocalFile());
    if (!app)
        return std::nullopt;
    DesktopEntry entry = entryOf(*app);
    entry.url = fileUrl;
    // A hidden entry is one the user or vendor deleted: it cannot be chosen.
    if (app->desktopId.isEmpty() || app->hidden)
        entry.identifier.reset();
    return entry;
}

} // namespace halvora

#include "cli/AssociationProfile.h"

#include "core/model/FileAssociationError.h"
#include "core/model/FileExtensionNormalizer.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cmath>

namespace halvora::cli {

namespace {

const QString formatName = QStringLiteral("halvora-profile");
const QString desktopSuffix = QStringLiteral(".desktop");

ProfileError notAProfile(const QString &detail)
{
    return ProfileError(ProfileError::Problem::notAProfile,
                        QStringLiteral("Halvora 프로필이 아닙니다: ") + detail);
}

} // namespace

ProfileError::ProfileError(Problem problem, QString description)
    : LocalizedError(std::move(description)), problem_(problem)
{}

bool isValidDesktopFileId(const QString &id)
{
    if (id.size() <= desktopSuffix.size() || !id.endsWith(desktopSuffix) || id.contains(u'/'))
        return false;
    for (QChar c : id) {
        if (c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

AssociationProfile parseProfile(const QByteArray &json)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        throw ProfileError(ProfileError::Problem::notJson,
                           QStringLiteral("프로필이 올바른 JSON이 아닙니다 (%1번째 바이트: %2).")
                               .arg(parseError.offset)
                               .arg(parseError.errorString()));
    }
    if (!document.isObject())
        throw notAProfile(QStringLiteral("JSON 객체가 아닙니다."));
    const QJsonObject root = document.object();
    if (root.value(u"format") != QJsonValue(formatName))
        throw notAProfile(QStringLiteral("\"format\"이 \"halvora-profile\"이 아닙니다."));

    const QJsonValue version = root.value(u"version");
    const double number = version.toDouble(-1);
    if (!version.isDouble() || number < 1 || std::floor(number) != number)
        throw notAProfile(QStringLiteral("\"version\"이 1 이상의 정수가 아닙니다."));
    if (number > AssociationProfile::currentVersion) {
        throw ProfileError(ProfileError::Problem::unsupportedVersion,
                           QStringLiteral("프로필 버전 %1은 지원하지 않습니다 (지원하는 버전: %2). "
                                          "Halvora를 업데이트하세요.")
                               .arg(number, 0, 'f', 0)
                               .arg(AssociationProfile::currentVersion));
    }

    const QJsonValue defaults = root.value(u"defaults");
    if (!defaults.isObject())
        throw notAProfile(QStringLiteral("\"defaults\" 객체가 없습니다."));

    AssociationProfile profile;
    const QJsonObject entries = defaults.toObject();
    for (auto entry = entries.constBegin(); entry != entries.constEnd(); ++entry) {
        QString extension;
        try {
            extension = FileExtensionNormalizer::normalize(entry.key());
        } catch (const FileAssociationError &error) {
            throw ProfileError(
                ProfileError::Problem::invalidExtension,
                QStringLiteral("프로필의 항목 \"%1\": %2").arg(entry.key(), error.errorDescription()));
        }
        const QString id = entry.value().toString();
        if (!entry.value().isString() || !isValidDesktopFileId(id)) {
            throw ProfileError(
                ProfileError::Problem::invalidApplication,
                QStringLiteral("프로필의 .%1 항목이 데스크톱 파일 ID(예: org.example.App.desktop)가 "
                               "아닙니다.")
                    .arg(extension));
        }
        const auto existing = profile.defaults.constFind(extension);
        if (existing != profile.defaults.constEnd() && *existing != id) {
            throw ProfileError(
                ProfileError::Problem::duplicateExtension,
                QStringLiteral("프로필에 .%1 항목이 서로 다른 앱으로 두 번 있습니다.").arg(extension));
        }
        profile.defaults.insert(extension, id);
    }
    return profile;
}

AssociationProfile readProfileFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        throw ProfileError(ProfileError::Problem::fileNotFound,
                           QStringLiteral("프로필 파일을 찾을 수 없습니다: ") + path);
    }
    if (info.isDir()) {
        throw ProfileError(ProfileError::Problem::unreadable,
                           QStringLiteral("프로필 파일을 읽을 수 없습니다: %1 (폴더입니다)").arg(path));
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw ProfileError(
            ProfileError::Problem::unreadable,
            QStringLiteral("프로필 파일을 읽을 수 없습니다: %1 (%2)").arg(path, file.errorString()));
    }
    // Read one byte past the limit so that a file that grows while read is still caught.
    const QByteArray bytes = file.read(AssociationProfile::maxFileSize + 1);
    if (bytes.size() > AssociationProfile::maxFileSize) {
        throw ProfileError(ProfileError::Problem::tooLarge,
                           QStringLiteral("프로필 파일이 너무 큽니다: %1 (최대 %2 MiB)")
                               .arg(path)
                               .arg(AssociationProfile::maxFileSize / (1024 * 1024)));
    }
    return parseProfile(bytes);
}

QByteArray serializeProfile(const AssociationProfile &profile)
{
    QJsonObject defaults;
    for (auto entry = profile.defaults.constBegin(); entry != profile.defaults.constEnd(); ++entry)
        defaults.insert(entry.key(), entry.value());
    const QJsonObject root{
        {"format", formatName}, {"version", AssociationProfile::currentVersion}, {"defaults", defaults}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

void writeProfileFile(const QString &path, const AssociationProfile &profile)
{
    QSaveFile file(path);
    const QByteArray bytes = serializeProfile(profile);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        throw ProfileError(
            ProfileError::Problem::writeFailed,
            QStringLiteral("프로필 파일을 쓸 수 없습니다: %1 (%2)").arg(path, file.errorString()));
    }
}

} // namespace halvora::cli

// Writes seed inputs for the fuzz targets into DIR/<target>/, built from real records and
// from the desktop tree the system tests use.
#include "core/model/ModelJson.h"
#include "support/fixtures/PlistSamples.h"
#include "support/fixtures/XdgFixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

using namespace halvora;

namespace {

void write(const QString &dir, const QString &name, const QByteArray &bytes)
{
    QDir().mkpath(dir);
    QFile file(dir + u'/' + name);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        std::fprintf(stderr, "cannot write seed %s\n", qPrintable(file.fileName()));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The user's and the system's mimeapps.list of the standard test tree, and variants of the
// syntax GKeyFile accepts: comments, locale keys, escapes, repeated groups and keys, and
// the group of removed associations.
void writeMimeAppsSeeds(const QString &dir)
{
    QTemporaryDir root;
    halvora::test::XdgFixture fixture(root.path());
    fixture.addStandardContents();
    try {
        fixture.commit();
    } catch (const std::exception &error) {
        std::fprintf(stderr, "cannot build the desktop tree: %s\n", error.what());
    }
    using Scope = halvora::test::XdgFixture::Scope;
    write(dir, QStringLiteral("user"), readFile(fixture.mimeAppsListPath(Scope::user)));
    write(dir, QStringLiteral("system"), readFile(fixture.mimeAppsListPath(Scope::system)));
    write(dir, QStringLiteral("syntax"),
          "# comment\r\n[Default Applications]\r\ntext/plain = a.desktop;b\\;c.desktop;\r\n"
          "text/plain[ko]=k.desktop\r\n\r\n[Added Associations]\nimage/png=;;x.desktop\n"
          "[Default Applications]\ntext/plain=again.desktop\nimage/gif=\\s\\t\\x.desktop\n"
          "[Removed Associations]\ntext/plain=org.example.Hidden.desktop;\n");
    write(dir, QStringLiteral("empty"), QByteArray());
}

// The handler list the reader tests use, in both encodings.
void writePlistSeeds(const QString &dir)
{
    const auto [xml, binary] = plistsamples::encodings(plistsamples::sampleHandlers());
    write(dir, QStringLiteral("handlers.xml"), xml);
    write(dir, QStringLiteral("handlers.bin"), binary);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: halvora_fuzz_seeds DIR\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);

    const char *extensions[] = {"pdf", " .PDF ", "...md", "Tar.GZ", ". md", "a/b",
                                "x:y", "md.",    "\\",    "ÉTÉ",    ""};
    int n = 0;
    for (const char *text : extensions)
        write(root + QStringLiteral("/fuzz_normalizer"), QString::number(n++), QByteArray(text));

    const AssociatedApp viewer(
        QStringLiteral("문서 보기"), QStringLiteral("org.example.Viewer.desktop"),
        QUrl::fromLocalFile(QStringLiteral("/usr/share/applications/org.example.Viewer.desktop")));
    const AssociatedApp editor(
        QStringLiteral("Editor"), QStringLiteral("editor.desktop"),
        QUrl::fromLocalFile(QStringLiteral("/home/u/.local/share/applications/my editor.desktop")));
    const QList<AssociationChangeRecord> history{
        AssociationChangeRecord(QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF"), QStringLiteral("pdf"),
                                QStringLiteral("application/pdf"), viewer, editor, Timestamp(786297600.25),
                                AssociationVerificationStatus::verified, std::nullopt),
        AssociationChangeRecord(QStringLiteral("md|1700000000.0"), QStringLiteral("md"),
                                QStringLiteral("text/markdown"), std::nullopt, viewer, Timestamp(721692800.0),
                                AssociationVerificationStatus::verificationFailed,
                                QStringLiteral("확인되지 않았습니다.")),
    };
    const QString json = root + QStringLiteral("/fuzz_history_json");
    write(json, QStringLiteral("history"), encodeJsonArray(history));
    write(json, QStringLiteral("empty"), QByteArray("[]"));
    write(json, QStringLiteral("legacy"),
          encodeJsonObject(RecentAssociationChange(QStringLiteral("md"), QStringLiteral("text/markdown"),
                                                   viewer, editor, Timestamp(1.5))));

    writeMimeAppsSeeds(root + QStringLiteral("/fuzz_mimeapps_reader"));
    writePlistSeeds(root + QStringLiteral("/fuzz_plist_reader"));
    return 0;
}

// The desktop client's answers for the cases people run into, and the reasons it gives.
#include "core/model/FileAssociationError.h"
#include "linux/desktop/LinuxFileAssociationClient.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace halvora {
namespace {

const QString viewer = QStringLiteral("[Desktop Entry]\nType=Application\nName=V\nExec=true %f\n");

struct Answer {
    const char *contentType; // nullptr: the extension has no type
    const char *current;     // nullptr: no default
    const char *summary;     // '@' stands for the tree
    int chainLength;
    bool overridesUserList;
};

struct Case {
    // "path=content" under the tree; a content starting with "->" makes a symbolic link.
    QStringList files;
    const char *desktop;
    const char *extension;
    Answer expected;
};

const Case cases[] = {
    // A hidden default is shown with its line, after the missing one before it.
    {{u"h/.config/mimeapps.list=[Default Applications]\napplication/pdf=gone.desktop;hid.desktop\n"_qs,
      u"h/.local/share/applications/hid.desktop="_qs + viewer + u"Hidden=true\n"_qs},
     "",
     "pdf",
     {"application/pdf", "hid.desktop", "~/.config/mimeapps.list 2행에서 지정", 2, false}},
    // A dangling link is no list.
    {{u"h/.config/mimeapps.list=->nowhere"_qs, u"s/applications/v.desktop="_qs + viewer,
      u"s/applications/mimeinfo.cache=[MIME Cache]\napplication/pdf=v.desktop;\n"_qs},
     "",
     "pdf",
     {"application/pdf", "v.desktop", "지정된 기본 앱 없음: 첫 번째 호환 앱", 1, false}},
    {{u"h/.config/mimeapps.list=[Default Applications]\napplication/pdf=v.desktop\n"_qs,
      u"h/.config/kde-mimeapps.list=[Default Applications]\napplication/pdf=w.desktop\n"_qs,
      u"s/applications/v.desktop="_qs + viewer, u"s/applications/w.desktop="_qs + viewer},
     "KDE",
     "pdf",
     {"application/pdf", "w.desktop", "데스크톱별 목록 ~/.config/kde-mimeapps.list 2행에서 지정", 2, true}},
    {{u"x/mimeapps.list=# vendor\n[Default Applications]\ntext/plain=v.desktop\n"_qs,
      u"s/applications/v.desktop="_qs + viewer},
     "",
     "txt",
     {"text/plain", "v.desktop", "시스템 목록 @/x/mimeapps.list에서 지정", 1, false}},
    {{u"h/.local/share/applications/mimeapps.list=[Default Applications]\ntext/plain=v.desktop\n"_qs,
      u"s/applications/v.desktop="_qs + viewer},
     "",
     "c",
     {"text/x-csrc", "v.desktop",
      "~/.local/share/applications/mimeapps.list 2행에서 지정 (상위 형식 text/plain에서 물려받음)", 1,
      false}},
    // A double extension has its own type, whatever its spelling; a name with a dot is no extension.
    {{}, "", ".TAR.GZ", {"application/x-compressed-tar", nullptr, "", 0, false}},
    {{}, "", "foo.png", {nullptr, nullptr, "", 0, false}},
};

class Reasons : public testing::TestWithParam<Case> {};

TEST_P(Reasons, AnswerAndOriginAsTheDesktopSeesThem)
{
    const Case &c = GetParam();
    const Answer &e = c.expected;
    QTemporaryDir root;
    const QString base = root.path();
    QDir().mkpath(base + QStringLiteral("/s"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/usr/share/mime"), base + QStringLiteral("/s/mime")));
    for (const QString &file : c.files) {
        const QString path = base + u'/' + file.section(u'=', 0, 0);
        const QString content = file.section(u'=', 1);
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (content.startsWith(QStringLiteral("->"))) {
            ASSERT_TRUE(QFile::link(content.mid(2), path));
            continue;
        }
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(content.toUtf8());
    }
    for (const auto &[name, dir] : {std::pair{"HOME", "/h"},
                                    {"XDG_CONFIG_HOME", "/h/.config"},
                                    {"XDG_DATA_HOME", "/h/.local/share"},
                                    {"XDG_CONFIG_DIRS", "/x"},
                                    {"XDG_DATA_DIRS", "/s"}})
        qputenv(name, QFile::encodeName(base + QLatin1String(dir)));
    qputenv("XDG_CURRENT_DESKTOP", c.desktop);

    const auto client = makeLinuxFileAssociationClient();
    EXPECT_NO_THROW(client->loadRegisteredContentTypes());
    if (!e.contentType) {
        EXPECT_THROW(client->loadAssociation(QString::fromUtf8(c.extension)), FileAssociationError);
        return;
    }
    const FileAssociation association = client->loadAssociation(QString::fromUtf8(c.extension));
    EXPECT_EQ(association.contentTypeIdentifier(), QString::fromUtf8(e.contentType));
    const std::optional<QString> current =
        association.currentApp() ? std::optional(association.currentApp()->bundleIdentifier()) : std::nullopt;
    EXPECT_EQ(current, e.current ? std::optional(QString::fromUtf8(e.current)) : std::nullopt);
    if (!e.current)
        return;
    ASSERT_TRUE(association.origin());
    EXPECT_EQ(association.origin()->summary, QString::fromUtf8(e.summary).replace(u'@', base));
    EXPECT_EQ(association.origin()->overridesUserList, e.overridesUserList);
    EXPECT_EQ(association.origin()->chain.size(), e.chainLength);
    EXPECT_TRUE(association.candidateApps().contains(*association.currentApp()));
}

INSTANTIATE_TEST_SUITE_P(Cases, Reasons, testing::ValuesIn(cases));

} // namespace
} // namespace halvora

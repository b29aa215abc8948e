// The help pages compiled into the program: one for every tab and the reference pages, and
// every relative link of every page leads to a page (and anchor) that is there.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include "ui/UiTestSupport.h"

namespace qm {
namespace {

QString ReadPage(const QString& name) {
    QFile file(QStringLiteral(":/help/") + name);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

TEST(HelpPagesTest, EveryTabHasAPageAndEveryLinkLeadsSomewhere) {
    test::App();
    for (const char* page :
         {"index.html", "splitter.html", "batch-splitter.html", "joiner.html", "batch-joiner.html",
          "splitter-options.html", "joiner-options.html", "about.html", "templates.html", "command-line.html"}) {
        EXPECT_FALSE(ReadPage(QString::fromLatin1(page)).isEmpty()) << page;
    }
    const QRegularExpression link(QStringLiteral("href=\"([^\"]+)\""));
    const QStringList pages = QDir(QStringLiteral(":/help")).entryList({QStringLiteral("*.html")});
    ASSERT_FALSE(pages.isEmpty());
    for (const QString& page : pages) {
        const QString text = ReadPage(page);
        for (auto match = link.globalMatch(text); match.hasNext();) {
            const QString target = match.next().captured(1);
            if (target.contains(QLatin1Char(':'))) continue;  // http:, mailto:
            const QString file = target.section(QLatin1Char('#'), 0, 0);
            const QString anchor = target.section(QLatin1Char('#'), 1);
            const QString linked = file.isEmpty() ? text : ReadPage(file);
            EXPECT_FALSE(linked.isEmpty()) << page.toStdString() << " -> " << target.toStdString();
            if (!anchor.isEmpty()) {
                EXPECT_TRUE(linked.contains(QStringLiteral("id=\"%1\"").arg(anchor)) ||
                            linked.contains(QStringLiteral("name=\"%1\"").arg(anchor)))
                    << page.toStdString() << " -> " << target.toStdString();
            }
        }
    }
}

// The help speaks of this platform, not of another system's drives, registry or shortcuts.
TEST(HelpPagesTest, PagesSpeakOfThisPlatform) {
    test::App();
    for (const QString& page : QDir(QStringLiteral(":/help")).entryList({QStringLiteral("*.html")})) {
        const QString text = ReadPage(page);
        for (const char* word : {"C:\\", "Windows"}) {
            EXPECT_FALSE(text.contains(QLatin1String(word), Qt::CaseInsensitive)) << page.toStdString() << ": " << word;
        }
    }
}

}  // namespace
}  // namespace qm

// The help pages as the help window shows them: every page's navigation bar reads as
// separate links, and every link leads to a page that is there.
#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QTextStream>

#include "support/qt_test_app.h"

namespace tunecase {
namespace {

TEST(HelpPages, EveryPageNavigatesWithSeparatedLinksThatAllLeadSomewhere) {
    testing::qtTestApp();
    const QDir help(QString(TUNECASE_TEST_DATA) + "/../../data/help");
    const QStringList pages = help.entryList({"*.htm"});
    ASSERT_GE(pages.size(), 10);
    for (const QString& page : pages) {
        QFile file(help.filePath(page));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << page.toStdString();
        const QString html = QTextStream(&file).readAll();
        // Every link of the page, the navigation bar's too, names a page of the help.
        static const QRegularExpression link("href=\"([^\"#:]+)\"");
        for (auto it = link.globalMatch(html); it.hasNext();) {
            const QString target = it.next().captured(1);
            EXPECT_TRUE(help.exists(target)) << page.toStdString() << " -> " << target.toStdString();
        }
        if (page == "goodbye.htm") continue;  // the farewell page has no bar
        QTextBrowser browser;
        browser.setSource(QUrl::fromLocalFile(help.filePath(page)));
        const QString firstLine = browser.toPlainText().section('\n', 0, 0);
        EXPECT_TRUE(firstLine.startsWith("Contents | Adding songs | Song list | Library | Composing | Export | "))
            << page.toStdString() << ": " << firstLine.toStdString();
    }
}

}  // namespace
}  // namespace tunecase

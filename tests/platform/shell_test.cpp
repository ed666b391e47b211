#include "platform/shell.h"

#include <gtest/gtest.h>

namespace {

TEST(Shell, OpensOnlyWebAndMailAddresses)
{
    const struct
    {
        const char *url;
        bool openable;
    } cases[] = {
        {"http://www.junkwarden.example", true},
        {"HTTPS://example.org/a?b=c", true},
        {"mailto:support@junkwarden.example", true},
        {"mailto:", false},
        {"file:///etc/passwd", false},
        {"/etc/passwd", false},
        {"javascript:alert(1)", false},
        {"ftp://example.org/", false},
        {"smb://server/share", false},
        {"http:///nohost", false},
        {"", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(jw::isOpenableUrl(QUrl(QString::fromLatin1(c.url))), c.openable);
    }
}

} // namespace

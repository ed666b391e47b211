#pragma once

#include <QString>

namespace jw::test {

// A tiny tmpfs mounted for one test, so that saves can be tried on a full
// disk and on a read-only file system. Needs root; `available()` says why
// not otherwise, for GTEST_SKIP.
class SmallDisk
{
public:
    SmallDisk();
    // Mounted over an existing folder, whose files it starts with.
    explicit SmallDisk(const QString &over);
    ~SmallDisk();
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    bool available() const { return m_mounted; }
    const QString &whyNot() const { return m_whyNot; }
    // The mount point, with a trailing "/".
    QString path() const { return m_path + QLatin1Char('/'); }

    // Takes every free block, so that the next write fails for want of space.
    void fill();
    // Gives the space taken by fill() back.
    void release();
    void setReadOnly(bool readOnly);

private:
    QString m_path;
    QString m_whyNot;
    bool m_mounted = false;
    bool m_ownFolder = true;
};

} // namespace jw::test

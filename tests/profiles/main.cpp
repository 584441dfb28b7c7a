#include "common/testmain.h"
#include "profilestest.h"

#include "fixtures.h"
#include "profiles/WriteReadJson.h"

#include <QDir>
#include <QFileInfo>

void ProfilesTest::init()
{
    m_presetDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_presetDir->isValid());
    // Every case starts without a settings file; a case may have left the folder as a
    // plain file or read-only.
    const QFileInfo folder(fx::settingsFolder());
    if (folder.isDir()) {
        QFile::setPermissions(folder.absoluteFilePath(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QDir(folder.absoluteFilePath()).removeRecursively();
    } else if (folder.exists()) {
        QFile::remove(folder.absoluteFilePath());
    }
}

void ProfilesTest::cleanup()
{
    m_presetDir.reset();
}

void ProfilesTest::writePreset(const QString &relativePath, const QByteArray &bytes)
{
    QVERIFY(fx::writeBytes(presetDir() + "/" + relativePath, bytes));
}

std::unique_ptr<WriteReadJson> ProfilesTest::makeStore()
{
    return std::make_unique<WriteReadJson>(presetDir());
}

TTT_TEST_MAIN(ProfilesTest)

// The speaker test's sound module: the program's only use of Qt Multimedia (see
// testsoundmodule.h). Built as a module of its own, never into the program's library.
#include "window/testsoundmodule.h"

#include <QDebug>
#include <QMediaPlayer>
#include <QUrl>

namespace {

QMediaPlayer *play(const QString &file, int volume)
{
    auto *player = new QMediaPlayer;
    player->setMedia(QUrl::fromLocalFile(file));
    player->setVolume(volume);
    player->play();
    return player;
}

void resume(QMediaPlayer *player)
{
    player->play();
}

void pause(QMediaPlayer *player)
{
    player->pause();
}

void stop(QMediaPlayer *player)
{
    player->stop();
}

QString mediaStatus(QMediaPlayer *player)
{
    QString text;
    QDebug(&text).nospace() << player->mediaStatus();
    return text;
}

void release(QMediaPlayer *player)
{
    player->stop();
    delete player;
}

const TestSoundModule kModule = {kTestSoundModuleVersion, play, resume, pause, stop, mediaStatus, release};

} // namespace

extern "C" Q_DECL_EXPORT const TestSoundModule *toneTuningToolTestSound()
{
    return &kModule;
}

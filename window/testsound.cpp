#include "window/testsound.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>

#include <dlfcn.h>

namespace {

const char kModuleFileName[] = "ToneTuningTool-media.so";

const TestSoundModule *loaded = nullptr;

} // namespace

QString testSoundModuleFile()
{
    const QString chosen = qEnvironmentVariable("TONETUNINGTOOL_MEDIA_MODULE");
    if (!chosen.isEmpty())
        return chosen;
    return QCoreApplication::applicationDirPath() + '/' + QLatin1String(kModuleFileName);
}

const TestSoundModule *testSoundModule()
{
    if (loaded)
        return loaded;

    const QString file = testSoundModuleFile();
    void *handle = dlopen(QFile::encodeName(file).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        qDebug().noquote() << "Sound module" << file << "cannot be loaded:" << QString::fromLocal8Bit(dlerror());
        return nullptr;
    }
    const auto entry = reinterpret_cast<TestSoundModuleEntry>(dlsym(handle, kTestSoundModuleEntry));
    const TestSoundModule *module = entry ? entry() : nullptr;
    if (!module || module->version != kTestSoundModuleVersion) {
        qDebug().noquote() << "Sound module" << file << "is not one of this build";
        dlclose(handle);
        return nullptr;
    }
    loaded = module;
    return loaded;
}

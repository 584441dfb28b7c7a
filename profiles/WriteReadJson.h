#pragma once

// The single owner of all profile data: the preset modes of every headset model (from
// the preset files below the program folder), the custom modes of every physical
// headset and the mode each headset used last (both from the settings file), and the
// copy of the mode applied right now. Every change is written back to the settings file
// at once. Used from the user-interface thread only.

#include "profiles/records.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include <map>
#include <memory>
#include <vector>

class WriteReadJson : public QObject
{
    Q_OBJECT

  public:
    // Product id of "no headset current"; matches no real headset.
    static constexpr int kNoHeadsetPid = -1743058;

    // Loads every preset file below `presetDirPath`, then the settings file.
    explicit WriteReadJson(const QString &presetDirPath = QCoreApplication::applicationDirPath());
    ~WriteReadJson() override;

    // Current headset.
    void setCurrentDevice(int pid, QString deviceUuid);
    void clearCurrentDevice();

    // Lookups; none writes anything. The maps are copies holding the stored records, so a
    // change made through one of their pointers changes the stored mode.
    DeviceData *getPresetDevice() const;
    DeviceData *getCustomizeDevice() const;
    std::map<QString, ModeData *> getPresetModes(int type) const;
    std::map<QString, ModeData *> getCustomizeModes(int type) const;
    // The applied copy. It stays at the same address while modes are applied, until
    // setCurrentMode(nullptr) or clearCurrentDevice().
    ModeData *getCurrentMode() const;
    ModeData *getStereoPreset(int index) const;
    ModeData *getSurroundPreset(int index) const;

    // Changes; each saves the settings file except renameCustomizeMode and
    // setCurrentMode(nullptr).
    void setCurrentMode(const ModeData *mode);
    void restoreCurrentMode();
    // Takes ownership of a new custom mode of the current headset. Returns whether it was
    // stored; a mode that is not stored (no preset data for the headset, its name already
    // taken) has been deleted.
    bool insertCustomizeMode(ModeData *mode);
    // Deletes a stored custom mode of the current headset and closes the gap it leaves in
    // the button positions of its type.
    void removeCustomizeMode(ModeData *mode);
    // Files a stored custom mode of the current headset under its changed name.
    void renameCustomizeMode(QString oldName, ModeData *mode);

    // Files.
    void getPresetJson(QString dirPath);
    void readConfig();
    // Returns whether the file now holds what is in memory; a failure leaves the old file
    // whole and a trace line, and is not shown to the user.
    bool writeConfig();
    QString getConfigPath();

    std::unique_ptr<ModeData> appliedMode; // copy of the mode last applied; null when none
    int devicePid = kNoHeadsetPid;
    QString deviceUuid;                          // identity text of the current headset; may be empty
    std::vector<CurrentModeData *> currentModes; // owned; one per headset that had a mode applied
    std::map<int, DeviceData *> presetDevices;   // owned; by the number of the "pid" text
    std::vector<DeviceData *> customizeDevices;  // owned; one per physical headset

  private:
    CurrentModeData *findCurrentModeRecord(bool forStoring) const;
    bool ownsMode(const ModeData *mode) const;
    bool keepConfigAside(const QString &path);

    // Not empty when the settings file on disk holds something the first save would lose
    // (it could not be read, held values that could not be taken as they are, or bytes
    // that are not UTF-8): the first save then keeps a copy of it under this suffix.
    QString m_keepConfigAsideAs;
    // Top-level keys of the settings file this program does not know; saved as they were.
    QJsonObject m_otherConfigKeys;
};

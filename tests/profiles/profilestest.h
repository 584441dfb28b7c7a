#pragma once

#include <QObject>
#include <QTemporaryDir>

#include <memory>

class WriteReadJson;

class ProfilesTest : public QObject
{
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    // File helpers (files.cpp)
    void hexToIntFollowsStrtol_data();
    void hexToIntFollowsStrtol();
    void bytesToHexGivesLowerCaseDigits_data();
    void bytesToHexGivesLowerCaseDigits();
    void isFileExistAndMakeDir();
    void findFilesSearchesSubfoldersIgnoringCase();
    void findFilesVisitsEachRealFolderOnce();
    void findFilesSurvivesDeepTree();
    void readJsonFileDecodesOrRefuses_data();
    void readJsonFileDecodesOrRefuses();
    void readJsonFileHandlesFiftyMegabytes();
    void readJsonFileAllocatesForTheFileOnly();
    void readJsonFileCannotOpen();
    void writeJsonFileReplacesWholeFile();
    void writeJsonFileFailureKeepsOldContent();
    void writeJsonFileRefusesWhatCannotBeReadBack();

    // Preset files (presets.cpp)
    void presetFilesFoundAndFiled();
    void presetProductIdForms_data();
    void presetProductIdForms();
    void presetMicEncFallback_data();
    void presetMicEncFallback();
    void presetSamePidFirstListedWins();
    void presetCandidatesWithoutDefaultModeIgnored();
    void presetGbkFile();
    void presetWrongTypesFallBack();
    void presetCatalogueLookups_data();
    void presetCatalogueLookups();
    void presetLookupsWithoutPresetData();

    // Settings file (settings.cpp)
    void firstAppliedModeCreatesFile();
    void exampleFileAfterOneStereoAdd();
    void storeAndRestoreMatching_data();
    void storeAndRestoreMatching();
    void restoreSearchOrderAndDeletedMode();
    void twoHeadsetsOfOneModelKeptApart();
    void removeRenumbersIndexes();
    void renameRefilesWithoutSaving();
    void insertRefusalsFreeOrKeep();
    void applyingTheAppliedCopyIsSafe();
    void removeOnlyFreesWhatItRemoves();
    void saveKeepsEveryCurrentModeRecord_data();
    void saveKeepsEveryCurrentModeRecord();
    void settingsRoundTripKeepsOddRecords();
    void shortBandListsApplyAsFlat_data();
    void shortBandListsApplyAsFlat();

    // Bad input and failures (robustness.cpp)
    void unreadableSettingsKeptAside_data();
    void unreadableSettingsKeptAside();
    void settingsWrongTypesFallBack_data();
    void settingsWrongTypesFallBack();
    void settingsFolderReadOnly();

    // What a save leaves of odd settings files and beside them (settingsfiletable.cpp)
    void settingsFileAfterSave_data();
    void settingsFileAfterSave();
    void diskFullKeepsOldSettings();
    void killedWhileSaving();
    void userFolderWarning();

  private:
    QString presetDir() const { return m_presetDir->path(); }
    void writePreset(const QString &relativePath, const QByteArray &bytes);
    // A store over the fixture preset folder and the test's settings file.
    std::unique_ptr<WriteReadJson> makeStore();

    std::unique_ptr<QTemporaryDir> m_presetDir;
};

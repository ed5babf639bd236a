// SPDX-License-Identifier: MIT
// The window's settings in the program key: histories, twenty check boxes and "UTF8" after them,
// the totals, and (through the placement section) the column widths and the language name.
// Read once at creation, written once at close.
#include "app/uMain.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QTreeView>

#include <cstdio>

#include "lang/MultiLang.h"
#include "placement/Placemnt.h"
#include "platform/FileSystem.h"
#include "shell/FileList.h"

namespace trovex
{

namespace
{

struct TCheckSetting
{
    const char* Name;
    QCheckBox* TFindForm::*Box;
};

// In the order they are read and written: the first one missing or of another type ends the
// restore, so everything after it keeps its design state.
const TCheckSetting CheckSettings[] = {
    {"MainMenu", &TFindForm::CheckMainMenu},
    {"ShellMenu", &TFindForm::CheckShellMenu},
    {"Recycle", &TFindForm::CheckRecycle},
    {"FlashOnFind", &TFindForm::CheckFlashW},
    {"SubFolders", &TFindForm::checkSubFolders},
    {"Ansi", &TFindForm::CheckAnsi},
    {"OEM", &TFindForm::CheckOEM},
    {"KOI8", &TFindForm::CheckKOI8},
    {"Unicode", &TFindForm::CheckUnicode},
    {"ComboStyle", &TFindForm::CheckComboStyle},
    {"Icons", &TFindForm::CheckIcons},
    {"InZip", &TFindForm::CheckInZip},
    {"Hints", &TFindForm::CheckHints},
    {"Report", &TFindForm::CheckReport},
    {"ReportAll", &TFindForm::CheckRAll},
    {"ReportFileName", &TFindForm::CheckRFileName},
    {"ReportExt", &TFindForm::CheckRFileExt},
    {"ReportPath", &TFindForm::CheckRPath},
    {"ReportDate", &TFindForm::CheckRDate},
    {"ReportSize", &TFindForm::CheckRSize},
    {"UTF8", &TFindForm::CheckUtf8},
};

constexpr int FitTitle = -2;
constexpr int MaxColumnWidth = 32767;

std::string Indexed(const char* prefix, int index)
{
    return prefix + std::to_string(index);
}

std::uint32_t ReadTotal(const TRegistry& store, const char* name)
{
    try {
        return static_cast<std::uint32_t>(store.ReadInteger(TFindForm::ProgramKey, name).value_or(0));
    } catch (const ERegistryError&) {
        return 0;
    }
}

} // namespace

void TFindForm::LoadSettings()
{
    // A store that exists but cannot be read counts as a key that cannot be opened: nothing is
    // read, and nothing will be written over it.
    const TRegLoadResult loaded = FStore.Load();
    if (loaded == lrUnreadable)
        return;
    if (loaded == lrDamaged || loaded == lrRepaired)
        std::fprintf(stderr, "trovex: %s: %s; the file as it is will be kept beside it under a \".bad\" name\n",
                     FStore.FileName().c_str(),
                     loaded == lrDamaged ? "not a settings store, defaults are used" : "unreadable lines were left out");
    FStore.CreateKey(ProgramKey);

    TotalFiles = ReadTotal(FStore, "TotalFiles");
    TotalFound = ReadTotal(FStore, "TotalFound");

    struct THistory
    {
        const char* Prefix;
        QComboBox* Box;
    };
    // Every entry keeps its bytes, UTF-8 or not: a byte that is not becomes the escape the store
    // itself writes for it (PathText), and goes back as the same byte.
    const THistory histories[] = {{"Mask", cbMask}, {"Path", cbFolder}, {"SubStr", cbString}};
    try {
        for (int i = 0; i < HistorySize; ++i) {
            for (const THistory& h : histories) {
                std::optional<std::string> entry = FStore.ReadString(ProgramKey, Indexed(h.Prefix, i));
                if (entry && !entry->empty())
                    h.Box->addItem(PathText(*entry));
            }
        }
    } catch (const ERegistryError&) {
        cbMask->addItems({QStringLiteral("*.txt"), QStringLiteral("*.doc"), QStringLiteral("*.rtf")});
        cbFolder->addItem(PathText(HomeFolder()));
    }

    for (const TCheckSetting& setting : CheckSettings) {
        std::optional<std::int32_t> value;
        try {
            value = FStore.ReadInteger(ProgramKey, setting.Name);
        } catch (const ERegistryError&) {
            break;
        }
        if (!value)
            break;
        // Runs the box's handler when the state changes, as a click would.
        (this->*setting.Box)->setChecked(*value != 0);
    }
}

void TFindForm::RestoreColumnsAndLanguage()
{
    for (int i = 0; i < ColumnCount; ++i) {
        int width = FormPlacement1->ReadInteger(QStringLiteral("ListCol%1").arg(i + 1), FitTitle);
        if (width < 0) // -2 fits the title; with no rows yet, -1 (fit the contents) can only do the same
            width = ListView->header()->sectionSizeHint(i);
        ListView->header()->resizeSection(i, qMin(width, MaxColumnWidth));
    }

    FLang.CollectDefaults();
    const QString name = FormPlacement1->ReadString(QStringLiteral("LangName"), QString());
    cbLanguage->clear();
    cbLanguage->addItems(FLang.Languages());
    int index = -1;
    for (int i = 0; i < cbLanguage->count() && index < 0; ++i)
        if (cbLanguage->itemText(i).compare(name, Qt::CaseInsensitive) == 0)
            index = i;
    cbLanguage->setCurrentIndex(index);
    try {
        FLang.SelectLanguage(name);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "trovex: %s\n", e.what()); // the window opens in the default language
    }
    FLang.ApplyLanguage();
}

void TFindForm::SaveSettings()
{
    FStore.CreateKey(ProgramKey);
    auto entry = [](const QComboBox* box, int i) {
        return i < box->count() ? PathBytes(box->itemText(i)) : std::string();
    };
    for (int i = 0; i < HistorySize; ++i) {
        FStore.WriteString(ProgramKey, Indexed("Mask", i), entry(cbMask, i));
        FStore.WriteString(ProgramKey, Indexed("SubStr", i), entry(cbString, i));
        FStore.WriteExpandString(ProgramKey, Indexed("Path", i), i < cbFolder->count() ? PathBytes(cbFolder->itemText(i)) : std::string());
    }
    for (const TCheckSetting& setting : CheckSettings)
        FStore.WriteInteger(ProgramKey, setting.Name, (this->*setting.Box)->isChecked() ? 1 : 0);
    FStore.WriteInteger(ProgramKey, "TotalFiles", static_cast<std::int32_t>(TotalFiles));
    FStore.WriteInteger(ProgramKey, "TotalFound", static_cast<std::int32_t>(TotalFound));

    for (int i = 0; i < ColumnCount; ++i)
        FormPlacement1->WriteInteger(QStringLiteral("ListCol%1").arg(i + 1), ListView->header()->sectionSize(i));
    FormPlacement1->WriteString(QStringLiteral("LangName"), cbLanguage->currentText());
}

void TFindForm::WriteStore()
{
    try {
        FStore.Save();
    } catch (const ERegistryError& e) {
        // Closing must not fail; the reason is left where a person starting from a terminal sees it.
        std::fprintf(stderr, "trovex: settings not saved: %s\n", e.what());
    }
}

} // namespace trovex

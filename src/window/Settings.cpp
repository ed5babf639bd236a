// SPDX-License-Identifier: MIT
// Reading and writing the window's settings; see Settings.h.
#include "window/Settings.h"

#include <algorithm>

#include "window/PlacementMath.h"

namespace trovex
{

const std::array<TCheckSetting, scCount> CheckSettings = {{
    {"MainMenu", "CheckMainMenu", true},
    {"ShellMenu", "CheckShellMenu", true},
    {"Recycle", "CheckRecycle", true},
    {"FlashOnFind", "CheckFlashW", true},
    {"SubFolders", "checkSubFolders", true},
    {"Ansi", "CheckAnsi", true},
    {"OEM", "CheckOEM", false},
    {"KOI8", "CheckKOI8", false},
    {"Unicode", "CheckUnicode", true},
    {"ComboStyle", "CheckComboStyle", true},
    {"Icons", "CheckIcons", false},
    {"InZip", "CheckInZip", true},
    {"Hints", "CheckHints", true},
    {"Report", "CheckReport", true},
    {"ReportAll", "CheckRAll", false},
    {"ReportFileName", "CheckRFileName", false},
    {"ReportExt", "CheckRFileExt", false},
    {"ReportPath", "CheckRPath", true},
    {"ReportDate", "CheckRDate", false},
    {"ReportSize", "CheckRSize", false},
    {"UTF8", "CheckUtf8", true},
}};

namespace
{

std::string Indexed(const char* prefix, int index)
{
    return prefix + std::to_string(index);
}

std::uint32_t ReadTotal(const TKeyStore& store, const char* name)
{
    try {
        return static_cast<std::uint32_t>(store.ReadInteger(ProgramKeyName, name).value_or(0));
    } catch (const ERegistryError&) {
        return 0;
    }
}

std::string Entry(const std::vector<std::string>& list, int i)
{
    return i < static_cast<int>(list.size()) ? list[static_cast<std::size_t>(i)] : std::string();
}

} // namespace

TRestoredSettings ReadSettings(TKeyStore& store, std::string_view defaultFolder)
{
    TRestoredSettings out;
    store.CreateKey(ProgramKeyName);
    out.TotalFiles = ReadTotal(store, "TotalFiles");
    out.TotalFound = ReadTotal(store, "TotalFound");

    struct THistory
    {
        const char* Prefix;
        std::vector<std::string>* List;
    };
    const THistory histories[] = {{"Mask", &out.Histories.Masks},
                                  {"Path", &out.Histories.Folders},
                                  {"SubStr", &out.Histories.Texts}};
    try {
        for (int i = 0; i < HistorySize; ++i) {
            for (const THistory& h : histories) {
                std::optional<std::string> entry = store.ReadString(ProgramKeyName, Indexed(h.Prefix, i));
                if (entry && !entry->empty())
                    h.List->push_back(std::move(*entry));
            }
        }
    } catch (const ERegistryError&) {
        out.Histories.Masks.insert(out.Histories.Masks.end(), {"*.txt", "*.doc", "*.rtf"});
        out.Histories.Folders.emplace_back(defaultFolder);
    }

    for (const TCheckSetting& setting : CheckSettings) {
        std::optional<std::int32_t> value;
        try {
            value = store.ReadInteger(ProgramKeyName, setting.Name);
        } catch (const ERegistryError&) {
            break;
        }
        if (!value)
            break;
        out.Checks.push_back(*value != 0);
    }
    return out;
}

void WriteSettings(TKeyStore& store, const TSavedSettings& settings)
{
    store.CreateKey(ProgramKeyName);
    for (int i = 0; i < HistorySize; ++i) {
        store.WriteString(ProgramKeyName, Indexed("Mask", i), Entry(settings.Histories.Masks, i));
        store.WriteString(ProgramKeyName, Indexed("SubStr", i), Entry(settings.Histories.Texts, i));
        store.WriteExpandString(ProgramKeyName, Indexed("Path", i), Entry(settings.Histories.Folders, i));
    }
    for (std::size_t i = 0; i < CheckSettings.size(); ++i)
        store.WriteInteger(ProgramKeyName, CheckSettings[i].Name, settings.Checks[i] ? 1 : 0);
    store.WriteInteger(ProgramKeyName, "TotalFiles", static_cast<std::int32_t>(settings.TotalFiles));
    store.WriteInteger(ProgramKeyName, "TotalFound", static_cast<std::int32_t>(settings.TotalFound));
}

std::array<int, ListColumnCount> ReadColumnWidths(const TPlacementSection& section)
{
    std::array<int, ListColumnCount> widths{};
    for (int i = 0; i < ListColumnCount; ++i)
        widths[static_cast<std::size_t>(i)] = section.ReadInteger(Indexed("ListCol", i + 1), FitTitleWidth);
    return widths;
}

void WriteColumnWidths(TPlacementSection& section, const std::array<int, ListColumnCount>& widths)
{
    for (int i = 0; i < ListColumnCount; ++i)
        section.WriteInteger(Indexed("ListCol", i + 1), widths[static_cast<std::size_t>(i)]);
}

std::string ReadLanguageName(const TPlacementSection& section)
{
    return section.ReadString("LangName").value_or("");
}

void WriteLanguageName(TPlacementSection& section, std::string_view name)
{
    section.WriteString("LangName", name);
}

void AddToTotal(std::uint32_t& total, std::int64_t count)
{
    if (count > 0)
        total = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(std::uint64_t{total} + static_cast<std::uint64_t>(count), UINT32_MAX));
}

} // namespace trovex

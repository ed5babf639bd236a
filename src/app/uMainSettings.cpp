// SPDX-License-Identifier: MIT
// The window's settings put into and taken from its controls: what is stored, under which name and
// what a damaged value does is Settings's; this reads the store file at creation, fills the boxes
// (whose handlers run as on a click), and writes the store file at close.
#include "app/uMain.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QTreeView>

#include <cstdio>

#include "lang/MultiLang.h"
#include "placement/Placemnt.h"
#include "platform/FileSystem.h"
#include "shell/FileList.h"
#include "window/PlacementMath.h"

namespace trovex
{

namespace
{

constexpr int MaxColumnWidth = 32767;

QStringList Texts(const std::vector<std::string>& entries)
{
    QStringList texts;
    for (const std::string& entry : entries)
        texts.append(PathText(entry));
    return texts;
}

std::vector<std::string> Entries(const QComboBox* box)
{
    std::vector<std::string> entries;
    for (int i = 0; i < box->count(); ++i)
        entries.push_back(PathBytes(box->itemText(i)));
    return entries;
}

} // namespace

std::array<QCheckBox*, scCount> TFindForm::StoredChecks() const
{
    // The order and the names are the settings schema's; a box is found by its object name.
    std::array<QCheckBox*, scCount> boxes{};
    for (std::size_t i = 0; i < boxes.size(); ++i)
        boxes[i] = findChild<QCheckBox*>(QLatin1String(CheckSettings[i].Control));
    return boxes;
}

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

    const TRestoredSettings settings = ReadSettings(FStore, HomeFolder());
    TotalFiles = settings.TotalFiles;
    TotalFound = settings.TotalFound;
    // Every entry keeps its bytes, UTF-8 or not: a byte that is not becomes the escape the store
    // itself writes for it (PathText), and goes back as the same byte.
    cbMask->addItems(Texts(settings.Histories.Masks));
    cbFolder->addItems(Texts(settings.Histories.Folders));
    cbString->addItems(Texts(settings.Histories.Texts));
    const std::array<QCheckBox*, scCount> boxes = StoredChecks();
    // Runs the box's handler when the state changes, as a click would.
    for (std::size_t i = 0; i < settings.Checks.size(); ++i)
        boxes[i]->setChecked(settings.Checks[i]);
}

void TFindForm::RestoreColumnsAndLanguage()
{
    const TPlacementSection section(FStore, FormPlacement1->SectionKey().toStdString());
    const std::array<int, ListColumnCount> widths = ReadColumnWidths(section);
    for (int i = 0; i < ColumnCount; ++i) {
        int width = widths[static_cast<std::size_t>(i)];
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
    TSavedSettings settings;
    settings.TotalFiles = TotalFiles;
    settings.TotalFound = TotalFound;
    settings.Histories = {Entries(cbMask), Entries(cbFolder), Entries(cbString)};
    const std::array<QCheckBox*, scCount> boxes = StoredChecks();
    for (std::size_t i = 0; i < boxes.size(); ++i)
        settings.Checks[i] = boxes[i]->isChecked();
    WriteSettings(FStore, settings);

    std::array<int, ListColumnCount> widths{};
    for (int i = 0; i < ColumnCount; ++i)
        widths[static_cast<std::size_t>(i)] = ListView->header()->sectionSize(i);
    TPlacementSection section(FStore, FormPlacement1->SectionKey().toStdString());
    WriteColumnWidths(section, widths);
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

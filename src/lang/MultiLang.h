// SPDX-License-Identifier: MIT
// The language manager of the Qt window: walks the windows' widgets to record their default texts
// once and to apply a chosen language to them. The files, the texts by control name and the
// translations themselves are TLanguageTexts's, which any face shares.
#pragma once

#include <QMap>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>

#include <initializer_list>

#include "window/LanguageTexts.h"

class QWidget;

namespace trovex
{

/// Fills "%d" placeholders of a (possibly translated) message with `numbers` in order; "%%" gives
/// "%". Any other "%" sequence, and "%d" beyond the numbers given, stays as it is, so a faulty
/// translation shows oddly instead of failing.
QString FormatMessage(const QString& format, std::initializer_list<long long> numbers);

/// One instance for the whole program, made before any window. User-interface thread only.
///
/// Key scheme of the default texts: form name + component name, + "Hint" for a tool tip, or + the
/// column index for a list's column titles. Translated widgets: labels, all buttons (push, check,
/// radio, tool), tab pages (their tab text), TPanel captions, the tool tips of those, the top-level
/// items of menus and the column titles of item views. Combo boxes, group boxes, status bars,
/// dialogs and window titles keep the default language.
class TMultiLang : public QObject
{
    Q_OBJECT

public:
    /// The first entry of Languages: no language file.
    static const QString DefaultLanguage;

    /// Lists the language files in `folder` (the program's own folder when empty) at once.
    explicit TMultiLang(const QString& folder = QString(), QObject* parent = nullptr);

    /// Rebuilds Languages and LanguageFiles from the folder; returns the number of files found.
    int BuildLanguageList();
    /// Records the default texts of every window that exists now. Entries already recorded stay.
    void CollectDefaults();
    /// Makes the named language current (case-insensitive) and loads its file. An empty or unknown
    /// name changes nothing; "< Default >", or a file that has gone, falls back to the defaults and
    /// applies them. Throws EFOpenError when the file exists but cannot be opened.
    void SelectLanguage(const QString& name);
    /// Sets every translatable text of every window from its default text through Translate.
    /// Controls whose current text (or tip) is empty are skipped; menu items and columns never are.
    void ApplyLanguage();
    /// Forgets the loaded translations and applies the default texts.
    void ResetToDefault();
    /// Replaces the translations with the lines of the file: UTF-8 when the bytes are valid UTF-8,
    /// else the ANSI code page. A NUL byte ends the text. Throws EFOpenError.
    void LoadLanguageFile(const QString& path);
    /// The same over the bytes of a language file.
    void LoadLanguageBytes(QByteArray bytes);
    /// The first line whose part before its first "=" equals `text` case-insensitively gives the
    /// rest of that line; otherwise `text` itself.
    QString Translate(const QString& text) const;

    const QStringList& Languages() const { return FLanguages; }
    /// "name=path" per file, in the order the folder listed them.
    QStringList LanguageFiles() const;
    const QString& LanguageName() const { return FLanguageName; }
    const QString& LanguageFile() const { return FLanguageFile; }
    const QString& Folder() const { return FFolder; }
    /// The recorded default text of a key (empty when unknown), and all entries as "key=text".
    QString DefaultText(const QString& key) const;
    QStringList DefaultTexts() const;
    /// The texts themselves, for what is not a widget.
    const TLanguageTexts& Texts() const { return FTexts; }

signals:
    /// ApplyLanguage has set the texts; windows may re-fit their controls.
    void LanguageApplied();

private:
    void Walk(bool collect);
    void Record(const QString& key, const QString& text);
    QString Translated(const QString& key) const;
    /// Takes the lists and names TLanguageTexts holds into their Qt forms.
    void Refresh();

    TLanguageTexts FTexts;
    QString FFolder;
    QString FLanguageFile;
    QString FLanguageName;
    QStringList FLanguages;
};

} // namespace trovex

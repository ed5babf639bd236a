// SPDX-License-Identifier: MIT
// The language manager. A language file, line by line (no header, sections, comments or escapes):
//   Named:=Имя:                  the text before the first "=" is the default text, matched
//   Date && time=Дата && время   case-insensitively; "&" marks are part of both sides
//   Stop=                        an empty translation blanks the text
//   Named: =x                    never matches "Named:": spaces belong to the texts
#include "lang/MultiLang.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStackedWidget>
#include <QStringDecoder>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeView>
#include <QTableView>

#include <algorithm>

#include "platform/CodePage.h"

namespace trovex
{

const QString TMultiLang::DefaultLanguage = QStringLiteral("< Default >");

QString FormatMessage(const QString& format, std::initializer_list<long long> numbers)
{
    QString out;
    auto next = numbers.begin();
    for (qsizetype i = 0; i < format.size(); ++i) {
        QChar c = format[i];
        if (c == u'%' && i + 1 < format.size()) {
            QChar k = format[i + 1];
            if (k == u'%') {
                out += u'%';
                ++i;
                continue;
            }
            if (k == u'd' && next != numbers.end()) {
                out += QString::number(*next++);
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

namespace
{

bool IsInternal(const QString& name)
{
    return name.isEmpty() || name.startsWith(QLatin1String("qt_"));
}

// Windows that are forms: named top-level windows (menus and combo pop-ups have a parent).
QList<QWidget*> Forms()
{
    QList<QWidget*> forms;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isWindow() && !w->parentWidget() && !IsInternal(w->objectName()))
            forms.append(w);
    return forms;
}

// Named objects a form made itself, leaving out the parts Qt builds inside its own widgets.
bool IsComponent(QObject* object, QObject* form)
{
    if (IsInternal(object->objectName()))
        return false;
    for (QObject* p = object->parent(); p && p != form; p = p->parent())
        if (qobject_cast<QTabBar*>(p))
            return false; // the tab bar's scroll buttons
    return true;
}

QTabWidget* TabOwner(QWidget* page)
{
    auto* stack = qobject_cast<QStackedWidget*>(page->parentWidget());
    auto* tabs = stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
    return tabs && tabs->indexOf(page) >= 0 ? tabs : nullptr;
}

// The caption-carrying classes, tested in this order: panel, label, any button, tab page.
bool CaptionOf(QObject* object, QString& text)
{
    if (object->inherits("trovex::TPanel")) {
        text = object->property("caption").toString();
        return true;
    }
    if (auto* label = qobject_cast<QLabel*>(object)) {
        text = label->text();
        return true;
    }
    if (auto* button = qobject_cast<QAbstractButton*>(object)) {
        text = button->text();
        return true;
    }
    if (auto* page = qobject_cast<QWidget*>(object)) {
        if (QTabWidget* tabs = TabOwner(page)) {
            text = tabs->tabText(tabs->indexOf(page));
            return true;
        }
    }
    return false;
}

void SetCaption(QObject* object, const QString& text)
{
    if (object->inherits("trovex::TPanel"))
        object->setProperty("caption", text);
    else if (auto* label = qobject_cast<QLabel*>(object))
        label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(object))
        button->setText(text);
    else if (QTabWidget* tabs = TabOwner(static_cast<QWidget*>(object)))
        tabs->setTabText(tabs->indexOf(static_cast<QWidget*>(object)), text);
}

QAbstractItemModel* ColumnModel(QObject* object)
{
    if (auto* tree = qobject_cast<QTreeView*>(object))
        return tree->model();
    if (auto* table = qobject_cast<QTableView*>(object))
        return table->model();
    return nullptr;
}

} // namespace

TMultiLang::TMultiLang(const QString& folder, QObject* parent)
    : QObject(parent), FFolder(folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder)
{
    BuildLanguageList();
}

int TMultiLang::BuildLanguageList()
{
    FLanguages.clear();
    FLanguageFiles.clear();
    QDir dir(FFolder);
    const QStringList entries =
        dir.entryList({QStringLiteral("*.lng")}, QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted);
    QStringList names;
    for (const QString& entry : entries) {
        QString name = entry.left(entry.indexOf(QLatin1String(".lng"), 0, Qt::CaseInsensitive));
        if (name.isEmpty())
            continue; // ".lng" alone names no language and could never be selected
        name = name.left(1).toUpper() + name.mid(1);
        FLanguageFiles.append({name, dir.filePath(entry)});
        names.append(name);
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(names.begin(), names.end(),
                     [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    FLanguages = QStringList{DefaultLanguage} + names;
    return static_cast<int>(FLanguageFiles.size());
}

QStringList TMultiLang::LanguageFiles() const
{
    QStringList out;
    for (const auto& [name, path] : FLanguageFiles)
        out.append(name + u'=' + path);
    return out;
}

void TMultiLang::Record(const QString& key, const QString& text)
{
    const QString folded = key.toCaseFolded();
    if (!FDefaults.contains(folded))
        FDefaults.insert(folded, {key, text});
}

QString TMultiLang::DefaultText(const QString& key) const
{
    return FDefaults.value(key.toCaseFolded()).second;
}

QStringList TMultiLang::DefaultTexts() const
{
    QStringList out;
    for (const auto& [key, text] : FDefaults)
        out.append(key + u'=' + text);
    return out;
}

QString TMultiLang::Translated(const QString& key) const
{
    return Translate(DefaultText(key));
}

void TMultiLang::Walk(bool collect)
{
    const QList<QWidget*> forms = Forms();
    for (auto f = forms.rbegin(); f != forms.rend(); ++f) {
        QWidget* form = *f;
        const QString prefix = form->objectName();
        const QList<QObject*> components = form->findChildren<QObject*>();
        for (auto c = components.rbegin(); c != components.rend(); ++c) {
            QObject* object = *c;
            if (!IsComponent(object, form))
                continue;
            const QString key = prefix + object->objectName();

            if (qobject_cast<QMenu*>(object) || qobject_cast<QMenuBar*>(object)) {
                const QList<QAction*> items = static_cast<QWidget*>(object)->actions();
                for (auto a = items.rbegin(); a != items.rend(); ++a) {
                    QAction* item = *a;
                    if (IsInternal(item->objectName()))
                        continue;
                    const QString itemKey = prefix + item->objectName();
                    if (collect)
                        Record(itemKey, item->isSeparator() ? QStringLiteral("-") : item->text());
                    else if (!item->isSeparator()) // a separator shows no caption here
                        item->setText(Translated(itemKey));
                }
                continue;
            }

            QString caption;
            if (CaptionOf(object, caption)) {
                auto* widget = static_cast<QWidget*>(object);
                if (collect) {
                    Record(key, caption);
                    if (!widget->toolTip().isEmpty())
                        Record(key + QLatin1String("Hint"), widget->toolTip());
                } else {
                    if (!caption.isEmpty())
                        SetCaption(object, Translated(key));
                    if (!widget->toolTip().isEmpty())
                        widget->setToolTip(Translated(key + QLatin1String("Hint")));
                }
                continue;
            }

            if (QAbstractItemModel* model = ColumnModel(object)) {
                for (int i = model->columnCount() - 1; i >= 0; --i) {
                    const QString columnKey = key + QString::number(i);
                    if (collect)
                        Record(columnKey, model->headerData(i, Qt::Horizontal).toString());
                    else
                        model->setHeaderData(i, Qt::Horizontal, Translated(columnKey));
                }
            }
        }
    }
}

void TMultiLang::CollectDefaults()
{
    Walk(true);
}

void TMultiLang::ApplyLanguage()
{
    Walk(false);
    emit LanguageApplied();
}

void TMultiLang::ResetToDefault()
{
    FTranslations.clear();
    FLanguageFile.clear();
    ApplyLanguage();
}

void TMultiLang::SelectLanguage(const QString& name)
{
    if (name.isEmpty())
        return;
    auto known = std::find_if(FLanguages.begin(), FLanguages.end(),
                              [&](const QString& n) { return n.compare(name, Qt::CaseInsensitive) == 0; });
    if (known == FLanguages.end())
        return;
    FLanguageName = name;
    QString path;
    for (const auto& [fileName, filePath] : FLanguageFiles) {
        if (fileName.compare(name, Qt::CaseInsensitive) == 0) {
            path = filePath;
            break;
        }
    }
    if (!path.isEmpty() && QFileInfo(path).isFile()) {
        LoadLanguageFile(path);
        FLanguageFile = path;
    } else {
        ResetToDefault();
    }
}

void TMultiLang::LoadLanguageFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EFOpenError("Cannot open file " + path.toStdString());
    LoadLanguageBytes(file.readAll());
}

void TMultiLang::LoadLanguageBytes(QByteArray bytes)
{
    if (qsizetype nul = bytes.indexOf('\0'); nul >= 0)
        bytes.truncate(nul);

    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromStdString(AnsiToUtf8(std::string_view(bytes.constData(), bytes.size())));

    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == u'\n' || text[i] == u'\r') {
            lines.append(text.mid(start, i - start));
            if (i + 1 < text.size() && text[i] == u'\r' && text[i + 1] == u'\n')
                ++i;
            start = i + 1;
        }
    }
    FTranslations = lines;
}

QString TMultiLang::Translate(const QString& text) const
{
    for (const QString& line : FTranslations) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            continue;
        if (QStringView(line).left(eq).compare(text, Qt::CaseInsensitive) == 0)
            return line.mid(eq + 1);
    }
    return text;
}

} // namespace trovex

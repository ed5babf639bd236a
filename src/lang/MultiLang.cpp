// SPDX-License-Identifier: MIT
// The language manager's walk over the widgets; the texts are TLanguageTexts's.
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
#include <QTabBar>
#include <QTabWidget>
#include <QTreeView>
#include <QTableView>

#include <algorithm>


namespace trovex
{

const QString TMultiLang::DefaultLanguage = QStringLiteral("< Default >");

QString FormatMessage(const QString& format, std::initializer_list<long long> numbers)
{
    return QString::fromStdString(FormatMessage(format.toStdString(), numbers));
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

namespace
{

std::string Bytes(const QString& text)
{
    return text.toStdString();
}

QString Text(const std::string& bytes)
{
    return QString::fromStdString(bytes);
}

} // namespace

TMultiLang::TMultiLang(const QString& folder, QObject* parent)
    : QObject(parent),
      FTexts(QFile::encodeName(folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder).toStdString(),
             [](const std::string& a, const std::string& b) {
                 // The desktop's own order of names, letter case aside.
                 static const QCollator collator = [] {
                     QCollator c;
                     c.setCaseSensitivity(Qt::CaseInsensitive);
                     return c;
                 }();
                 return collator.compare(Text(a), Text(b)) < 0;
             }),
      FFolder(folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder)
{
    Refresh();
}

void TMultiLang::Refresh()
{
    FLanguages.clear();
    for (const std::string& name : FTexts.Languages())
        FLanguages.append(Text(name));
    FLanguageFile = QFile::decodeName(QByteArray::fromStdString(FTexts.LanguageFile()));
    FLanguageName = Text(FTexts.LanguageName());
}

int TMultiLang::BuildLanguageList()
{
    const int count = FTexts.BuildLanguageList();
    Refresh();
    return count;
}

QStringList TMultiLang::LanguageFiles() const
{
    QStringList out;
    for (const auto& [name, path] : FTexts.LanguageFiles())
        out.append(Text(name) + u'=' + QFile::decodeName(QByteArray::fromStdString(path)));
    return out;
}

void TMultiLang::Record(const QString& key, const QString& text)
{
    FTexts.Record(Bytes(key), Bytes(text));
}

QString TMultiLang::DefaultText(const QString& key) const
{
    return Text(FTexts.DefaultText(Bytes(key)));
}

QStringList TMultiLang::DefaultTexts() const
{
    QStringList out;
    for (const std::string& entry : FTexts.DefaultTexts())
        out.append(Text(entry));
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
    FTexts.ResetToDefault();
    Refresh();
    ApplyLanguage();
}

void TMultiLang::SelectLanguage(const QString& name)
{
    const TLanguageChange change = FTexts.SelectLanguage(Bytes(name));
    Refresh();
    if (change == lcDefault)
        ApplyLanguage();
}

void TMultiLang::LoadLanguageFile(const QString& path)
{
    FTexts.LoadLanguageFile(QFile::encodeName(path).toStdString());
}

void TMultiLang::LoadLanguageBytes(QByteArray bytes)
{
    FTexts.LoadLanguageBytes(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

QString TMultiLang::Translate(const QString& text) const
{
    return Text(FTexts.Translate(Bytes(text)));
}

} // namespace trovex

// SPDX-License-Identifier: MIT
#include "app/ShellTypes.h"

#include <QFile>
#include <QHash>
#include <QMimeDatabase>
#include <QStandardPaths>

#include <algorithm>
#include <deque>
#include <fnmatch.h>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/FileSystem.h"
#include "shell/ShellUtl.h"

namespace trovex
{

namespace
{

// Which part of a file name decides its type. The shared MIME database types a name by its glob
// patterns, nearly all of the form "*.ext", and the longest pattern that fits wins. A pattern of
// one dot ("*.gz") can only fit from the last dot on; the few of several dots ("*.tar.gz",
// "*.so.[0-9]*") from an earlier one. So a name's key is its tail from the leftmost dot where a
// pattern of several dots fits, else from its last dot: "libfoo.so.6.0.1" and "x.so.2" share
// ".so.[0-9]*", "a.b.tar.gz" and "c.tar.gz" share ".tar.gz", "notes.v2.txt" and "x.txt" share
// ".txt". A name that a pattern not starting with "*." fits (a whole name like "Makefile",
// "README*", "*~") is its own key. The patterns are read from the database's globs2 files; without
// them every name is its own key: slower, never wrong.
class TNameKeys
{
public:
    TNameKeys()
    {
        const QStringList files = QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("mime/globs2"));
        FKnown = !files.isEmpty();
        for (const QString& name : files) {
            QFile file(name);
            if (!file.open(QIODevice::ReadOnly)) {
                FKnown = false;
                continue;
            }
            while (!file.atEnd()) {
                // weight:type:pattern[:flags]
                const QList<QByteArray> fields = file.readLine().trimmed().split(':');
                if (fields.size() < 3 || fields[0].startsWith('#'))
                    continue;
                const QByteArray& pattern = fields[2];
                const bool caseSensitive = fields.size() > 3 && fields[3].contains("cs");
                if (pattern.startsWith("*.")) {
                    if (pattern.count('.') < 2)
                        continue; // decided from the last dot
                    const QByteArray tail = pattern.mid(1);
                    if (tail.contains('*') || tail.contains('?') || tail.contains('['))
                        FTailGlobs.push_back(Glob(pattern, caseSensitive));
                    else
                        (caseSensitive ? FExactTails : FLowerTails)
                            .insert(Keep(caseSensitive ? tail.toStdString() : Lower(tail.toStdString())));
                    const std::string lowerTail = Lower(tail.toStdString());
                    FTailEnds.insert(Keep(lowerTail.substr(lowerTail.rfind('.'))));
                    continue;
                }
                if (pattern.contains('*') || pattern.contains('?') || pattern.contains('['))
                    FGlobs.push_back(Glob(pattern, caseSensitive));
                else {
                    const std::string whole = Lower(pattern.toStdString());
                    FWholeFirst[static_cast<unsigned char>(whole[0])] = true;
                    FWholeLongest = std::max(FWholeLongest, whole.size());
                    (caseSensitive ? FExactNames : FLowerNames).insert(Keep(caseSensitive ? pattern.toStdString() : whole));
                }
            }
        }
    }

    /// The part of `name` that decides its type: its tail from the first dot, or all of it.
    std::string_view KeyOf(std::string_view name) const
    {
        if (!FKnown)
            return name;
        // Once per row of a large sort: no allocation unless a pattern's head and tail fit.
        thread_local std::string lowerBuffer;
        const std::string_view lower = Lower(name, lowerBuffer);
        // Few names can be one of the whole names: their first letters and lengths say which may.
        if (!lower.empty() && FWholeFirst[static_cast<unsigned char>(lower[0])] && lower.size() <= FWholeLongest &&
            (FLowerNames.count(lower) || FExactNames.count(name)))
            return name;
        for (const TGlob& glob : FGlobs) {
            const std::string_view n = glob.CaseSensitive ? name : lower;
            if (n.size() >= glob.Head.size() + glob.Tail.size() && n.substr(0, glob.Head.size()) == glob.Head &&
                n.substr(n.size() - glob.Tail.size()) == glob.Tail &&
                fnmatch(glob.Pattern.c_str(), std::string(n).c_str(), 0) == 0)
                return name;
        }
        // A tail pattern with wildcards fits few names (shared libraries): the pattern is their key,
        // unless a literal tail of several dots fits the name as well and the two must be weighed.
        for (const TGlob& glob : FTailGlobs) {
            const std::string_view n = glob.CaseSensitive ? name : lower;
            if (n.find(glob.Inner) != std::string_view::npos && fnmatch(glob.Pattern.c_str(), std::string(n).c_str(), 0) == 0)
                return LiteralTail(name, lower).empty() ? std::string_view(glob.Pattern) : name;
        }
        if (const std::string_view tail = LiteralTail(name, lower); !tail.empty())
            return tail;
        const std::size_t dot = name.rfind('.');
        return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
    }

private:
    // The longest tail of `name` from one of its dots that a literal pattern of several dots is;
    // empty when there is none.
    std::string_view LiteralTail(std::string_view name, std::string_view lower) const
    {
        // Only a name that ends as one of those tails does can hold one: most names end otherwise.
        const std::size_t last = lower.rfind('.');
        if (last == std::string_view::npos || !FTailEnds.count(lower.substr(last)))
            return {};
        for (std::size_t dot = name.find('.'); dot != std::string_view::npos; dot = name.find('.', dot + 1))
            if (FLowerTails.count(lower.substr(dot)) || FExactTails.count(name.substr(dot)))
                return name.substr(dot);
        return {};
    }

    struct TGlob
    {
        std::string Pattern;
        std::string Head; // the literal text before the first wildcard, and after the last: a cheap
        std::string Tail; // test that most names fail before fnmatch is asked
        std::string Inner; // the literal text after a leading "*", for the same test
        bool CaseSensitive;
    };

    static TGlob Glob(const QByteArray& pattern, bool caseSensitive)
    {
        TGlob glob;
        glob.Pattern = caseSensitive ? pattern.toStdString() : Lower(pattern.toStdString());
        glob.CaseSensitive = caseSensitive;
        const std::size_t first = glob.Pattern.find_first_of("*?[");
        const std::size_t last = glob.Pattern.find_last_of("*?]");
        glob.Head = glob.Pattern.substr(0, first);
        glob.Tail = glob.Pattern.substr(last + 1);
        if (first == 0 && glob.Pattern[0] == '*') {
            const std::size_t next = glob.Pattern.find_first_of("*?[", 1);
            glob.Inner = glob.Pattern.substr(1, next == std::string::npos ? std::string::npos : next - 1);
        }
        return glob;
    }

    static std::string_view Lower(std::string_view s, std::string& out)
    {
        out.assign(s);
        for (char& c : out)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return out;
    }

    static std::string Lower(std::string_view s)
    {
        std::string out;
        Lower(s, out);
        return out;
    }

    std::string_view Keep(std::string s) { return FStrings.emplace_back(std::move(s)); }

    bool FKnown = false;
    std::deque<std::string> FStrings; // never moves: the sets view into it
    std::unordered_set<std::string_view> FLowerNames; // whole names, compared without case
    std::unordered_set<std::string_view> FExactNames; // whole names, compared with case
    std::vector<TGlob> FGlobs;
    std::unordered_set<std::string_view> FLowerTails; // ".tar.gz": literal tails of several dots
    std::unordered_set<std::string_view> FExactTails;
    std::vector<TGlob> FTailGlobs;                    // "*.so.[0-9]*"
    std::unordered_set<std::string_view> FTailEnds;   // ".gz": how those tails end, in lower case
    bool FWholeFirst[256] = {};                       // the first letters of the whole names, lowered
    std::size_t FWholeLongest = 0;
};

} // namespace

bool TypeFollowsFromName(std::uint32_t attributes)
{
    return attributes & (faDirectory | faArchive);
}

// A folder's or regular file's type follows from what the row already knows (the kind, the name),
// and is looked up once per name key; its description and icon once per type. Any other kind of
// entry (a device, a FIFO, a link to nothing) is asked of the file system as it is now.
TResultModel::TShellType ShellTypeOfRow(std::string_view path, std::uint32_t attributes)
{
    if (!TypeFollowsFromName(attributes)) // asked of the exact file: its bytes, not the shown text
        return {GetFileTypeName(std::string(path)), GetFileIconIndex(std::string(path))};
    static const TNameKeys keys;
    static std::deque<std::string> keyStore; // never moves: byKey views into it
    static std::unordered_map<std::string_view, TResultModel::TShellType> byKey; // name key -> type
    static QHash<QString, TResultModel::TShellType> known; // MIME name -> its description and icon slot
    const std::string_view name = path.substr(path.rfind('/') + 1);
    // Folders share one key that no file name can have (a name holds no "/").
    const std::string_view key = (attributes & faDirectory) ? std::string_view("/") : keys.KeyOf(name);
    if (const auto found = byKey.find(key); found != byKey.end())
        return found->second;
    const QMimeDatabase db;
    const QMimeType type = (attributes & faDirectory)
                               ? db.mimeTypeForName(QStringLiteral("inode/directory"))
                               : db.mimeTypeForFile(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())),
                                                    QMimeDatabase::MatchExtension);
    TResultModel::TShellType shell;
    if (type.isValid()) {
        auto found = known.constFind(type.name());
        if (found == known.cend())
            found = known.insert(type.name(), {type.comment(), GetSystemImageList().IndexOf(type.name(), type.iconName(),
                                                                                         type.genericIconName())});
        shell = *found;
    }
    byKey.emplace(keyStore.emplace_back(key), shell);
    return shell;
}

} // namespace trovex

// SPDX-License-Identifier: MIT
#include "app/ShellTypes.h"

#include <QFile>
#include <QHash>
#include <QLocale>
#include <QMimeDatabase>
#include <QStandardPaths>

#include <algorithm>
#include <cstring>
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
        // Several databases (a user's own beside the system's) override each other in ways only the
        // database's reader knows: their keys still hold, but every type is asked of it.
        FAnswers = files.size() == 1;
        for (const QString& name : files) {
            QFile file(name);
            if (!file.open(QIODevice::ReadOnly)) {
                FKnown = false;
                continue;
            }
            while (!file.atEnd()) {
                // weight:type:pattern[:flags]
                const QList<QByteArray> fields = file.readLine().trimmed().split(':');
                if (fields.size() < 3 || fields[0].startsWith('#') || fields[2].isEmpty())
                    continue;
                const QByteArray& pattern = fields[2];
                const bool caseSensitive = fields.size() > 3 && fields[3].contains("cs");
                const bool wild = pattern.mid(1).contains('*') || pattern.contains('?') || pattern.contains('[');
                if (pattern.startsWith("*.")) {
                    const QByteArray tail = pattern.mid(1);
                    const std::string lowerTail = Lower(tail.toStdString());
                    if (caseSensitive)
                        FCaseTails.insert(Keep(lowerTail.substr(lowerTail.rfind('.'))));
                    if (wild) {
                        // "*.[1-9]": the database weighs it against the literal tails itself.
                        (pattern.count('.') < 2 ? FExtGlobs : FTailGlobs).push_back(Glob(fields, caseSensitive));
                        if (pattern.count('.') >= 2)
                            FTailEnds.insert(Keep(lowerTail.substr(lowerTail.rfind('.'))));
                        continue;
                    }
                    FTypes[Keep(lowerTail)].push_back({fields[0].toInt(), Keep(fields[1].toStdString()), caseSensitive});
                    FMostDots = std::max<std::size_t>(FMostDots, static_cast<std::size_t>(pattern.count('.')));
                    if (pattern.count('.') < 2)
                        continue; // decided from the last dot
                    (caseSensitive ? FExactTails : FLowerTails).insert(Keep(caseSensitive ? tail.toStdString() : lowerTail));
                    FTailEnds.insert(Keep(lowerTail.substr(lowerTail.rfind('.'))));
                    continue;
                }
                if (wild || pattern.startsWith('*')) {
                    const TGlob glob = Glob(fields, caseSensitive);
                    FGlobs.push_back(glob);
                } else {
                    const std::string whole = Lower(pattern.toStdString());
                    FWholeFirst[static_cast<unsigned char>(whole[0])] = true;
                    FWholeLongest = std::max(FWholeLongest, whole.size());
                    FWholeLengths[static_cast<unsigned char>(whole[0])] |= std::uint64_t{1} << std::min<std::size_t>(whole.size(), 63);
                    (caseSensitive ? FExactNames : FLowerNames).insert(Keep(caseSensitive ? pattern.toStdString() : whole));
                }
            }
        }
        // Which names a whole-name pattern may fit, by their first letter or, for those that start
        // with a wildcard, their last.
        for (const TGlob& glob : FGlobs) {
            if (!glob.Head.empty())
                FGlobsByFirst[static_cast<unsigned char>(Lower(glob.Head)[0])].push_back(&glob);
            else if (!glob.Tail.empty())
                FGlobsByLast[static_cast<unsigned char>(Lower(glob.Tail).back())].push_back(&glob);
            else
                FGlobAnywhere = true;
        }
    }

    /// The extension from the last dot, in lower case, when it alone decides the type of `name` and
    /// no pattern that the case of its letters or its other parts could fit has to be weighed: the
    /// case of nearly every row of a large sort, answered without a lookup of the name as a whole.
    /// False when KeyOf must decide.
    bool PlainExtension(std::string_view name, std::string_view& extension, char (&buffer)[32]) const
    {
        if (!FKnown || FGlobAnywhere || name.empty())
            return false;
        const void* const last = memrchr(name.data(), '.', name.size());
        const std::size_t dot = last ? static_cast<std::size_t>(static_cast<const char*>(last) - name.data()) : name.size();
        const std::size_t length = name.size() - dot;
        if (length > sizeof buffer)
            return false;
        for (std::size_t i = 0; i < length; ++i)
            buffer[i] = LowerAscii(name[dot + i]);
        extension = std::string_view(buffer, length);
        // Only names with the first or last letter of a whole-name pattern are tried against them.
        // A length of 63 stands for any longer one.
        if ((FWholeLengths[static_cast<unsigned char>(LowerAscii(name.front()))] >> std::min<std::size_t>(name.size(), 63)) & 1) {
            char whole[64];
            if (name.size() > sizeof whole)
                return false;
            for (std::size_t i = 0; i < name.size(); ++i)
                whole[i] = LowerAscii(name[i]);
            if (FLowerNames.count(std::string_view(whole, name.size())) || FExactNames.count(name))
                return false;
        }
        for (const auto* globs : {&FGlobsByFirst[static_cast<unsigned char>(LowerAscii(name.front()))],
                                  &FGlobsByLast[static_cast<unsigned char>(LowerAscii(name.back()))]})
            for (const TGlob* glob : *globs)
                if (StartsWith(name, glob->Head, glob->CaseSensitive) && EndsWith(name, glob->Tail, glob->CaseSensitive))
                    return false;
        for (const TGlob& glob : FTailGlobs)
            if (Contains(name, glob.Inner, glob.CaseSensitive))
                return false;
        return true;
    }

    /// False when names with this extension (lower case, from the last dot) may be typed by more:
    /// a pattern of several dots that ends with it, or one that heeds the case of its letters.
    bool ExtensionDecides(std::string_view extension) const
    {
        return !FTailEnds.count(extension) && !FCaseTails.count(extension);
    }

    /// True when the last two parts of a name (from the dot before the last, lower case) decide
    /// the type of names with this extension that it alone does not: no pattern has more than
    /// two dots (checked when they are read), and none of those ending so heeds case.
    bool TwoPartsDecide(std::string_view extension) const
    {
        return FMostDots <= 2 && !FCaseTails.count(extension);
    }

    /// The MIME type name that a key of KeyOf's or a literal tail (from a dot) gives by the
    /// database's own rules, or empty when only the database can tell: a tie, or a pattern that
    /// heeds case. The patterns "*.ext" decide, the heaviest and then the longest; where none
    /// fits, those with other wildcards do, the same way.
    std::string_view TypeOfKey(std::string_view key) const
    {
        if (!FAnswers)
            return {};
        std::vector<const TGlob*> globs;
        if (!key.empty() && key[0] == '\x01') {
            // "\x01" + the whole-name patterns that fit, by number + "/" + the tail
            const std::size_t slash = key.find('/');
            for (std::size_t at = 1; at < slash;) {
                std::size_t next = key.find(',', at);
                next = next == std::string_view::npos || next > slash ? slash : next;
                globs.push_back(&FGlobs[static_cast<std::size_t>(std::stoul(std::string(key.substr(at, next - at))))]);
                at = next + 1;
            }
            key = key.substr(slash + 1);
        }
        const std::string lower = Lower(key);
        if (const std::size_t last = lower.rfind('.'); last != std::string::npos && FCaseTails.count(std::string_view(lower).substr(last)))
            return {};
        const TTypeOfTail* best = nullptr;
        std::size_t bestLength = 0;
        bool tie = false;
        auto weigh = [&](const TTypeOfTail& t, std::size_t length) {
            if (!best || t.Weight > best->Weight || (t.Weight == best->Weight && length > bestLength)) {
                best = &t;
                bestLength = length;
                tie = false;
            } else if (t.Weight == best->Weight && length == bestLength && t.Type != best->Type) {
                tie = true;
            }
        };
        for (std::size_t dot = lower.find('.'); dot != std::string::npos; dot = lower.find('.', dot + 1)) {
            const auto found = FTypes.find(std::string_view(lower).substr(dot));
            if (found == FTypes.end())
                continue;
            for (const TTypeOfTail& t : found->second) {
                if (t.CaseSensitive)
                    return {};
                weigh(t, lower.size() - dot + 1);
            }
        }
        if (!best) {
            const std::string probe = "x" + lower;
            for (const TGlob& glob : FExtGlobs)
                if (fnmatch(glob.Pattern.c_str(), glob.CaseSensitive ? ("x" + std::string(key)).c_str() : probe.c_str(), 0) == 0)
                    globs.push_back(&glob);
            for (const TGlob* glob : globs) {
                if (glob->CaseSensitive)
                    return {};
                weigh(glob->Type, glob->Pattern.size());
            }
        }
        if (tie)
            return {};
        return best ? best->Type : std::string_view("application/octet-stream");
    }

    /// The part of `name` that decides its type: its tail from the first dot, or all of it.
    /// `literal` says TypeOfKey may answer for it.
    std::string_view KeyOf(std::string_view name, bool& literal) const
    {
        literal = false;
        if (!FKnown)
            return name;
        // Once per row of a large sort: no allocation unless a pattern's head and tail fit.
        thread_local std::string lowerBuffer;
        const std::string_view lower = Lower(name, lowerBuffer);
        // Few names can be one of the whole names: their first letters and lengths say which may.
        if (!lower.empty() && FWholeFirst[static_cast<unsigned char>(lower[0])] && lower.size() <= FWholeLongest &&
            (FLowerNames.count(lower) || FExactNames.count(name)))
            return name;
        // Names that whole-name patterns with wildcards fit ("README*") share a key when the same
        // patterns fit them and they end alike (no pattern has more than two dots): "README.gz" and
        // "readme.1.gz", not "README.md".
        thread_local std::string globKey;
        globKey.clear();
        bool caseCounts = false;
        for (std::size_t i = 0; i < FGlobs.size(); ++i) {
            const TGlob& glob = FGlobs[i];
            const std::string_view n = glob.CaseSensitive ? name : lower;
            if (n.size() >= glob.Head.size() + glob.Tail.size() && n.substr(0, glob.Head.size()) == glob.Head &&
                n.substr(n.size() - glob.Tail.size()) == glob.Tail &&
                fnmatch(glob.Pattern.c_str(), std::string(n).c_str(), 0) == 0) {
                globKey += globKey.empty() ? "\x01" : ",";
                globKey += std::to_string(i);
                caseCounts = caseCounts || glob.CaseSensitive;
            }
        }
        if (!globKey.empty()) {
            const std::size_t last = lower.rfind('.');
            const std::size_t before = last == std::string_view::npos || last == 0 ? std::string_view::npos : lower.rfind('.', last - 1);
            const std::string_view tail = last == std::string_view::npos ? std::string_view() : lower.substr(before == std::string_view::npos ? last : before);
            if (caseCounts || FMostDots > 2 || (last != std::string_view::npos && FCaseTails.count(lower.substr(last))))
                return name;
            for (const TGlob& glob : FTailGlobs)
                if (Contains(name, glob.Inner, glob.CaseSensitive))
                    return name;
            globKey += '/'; // no name holds it: these keys meet no other kind
            globKey += tail;
            literal = true;
            return globKey;
        }
        // A tail pattern with wildcards fits few names (shared libraries): the pattern is their key,
        // unless a literal tail of several dots fits the name as well and the two must be weighed.
        for (const TGlob& glob : FTailGlobs) {
            const std::string_view n = glob.CaseSensitive ? name : lower;
            if (n.find(glob.Inner) != std::string_view::npos && fnmatch(glob.Pattern.c_str(), std::string(n).c_str(), 0) == 0)
                return LiteralTail(name, lower).empty() && !FTypes.count(LastExtension(lower)) ? std::string_view(glob.Pattern)
                                                                                               : name;
        }
        literal = true;
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

    struct TTypeOfTail
    {
        int Weight;
        std::string_view Type;
        bool CaseSensitive;
    };

    struct TGlob
    {
        std::string Pattern;
        std::string Head; // the literal text before the first wildcard, and after the last: a cheap
        std::string Tail; // test that most names fail before fnmatch is asked
        std::string Inner; // the literal text after a leading "*", for the same test
        bool CaseSensitive;
        TTypeOfTail Type;  // the type it gives, and its weight
    };

    TGlob Glob(const QList<QByteArray>& fields, bool caseSensitive)
    {
        const QByteArray& pattern = fields[2];
        TGlob glob;
        glob.Type = {fields[0].toInt(), Keep(fields[1].toStdString()), caseSensitive};
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

    static std::string_view LastExtension(std::string_view name)
    {
        const std::size_t dot = name.rfind('.');
        return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
    }

    static char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

    // Whether `name` starts (ends) with `part`, which is in lower case unless case counts.
    static bool StartsWith(std::string_view name, std::string_view part, bool caseSensitive)
    {
        if (name.size() < part.size())
            return false;
        for (std::size_t i = 0; i < part.size(); ++i)
            if ((caseSensitive ? name[i] : LowerAscii(name[i])) != part[i])
                return false;
        return true;
    }

    static bool EndsWith(std::string_view name, std::string_view part, bool caseSensitive)
    {
        return name.size() >= part.size() && StartsWith(name.substr(name.size() - part.size()), part, caseSensitive);
    }

    static bool Contains(std::string_view name, std::string_view inner, bool caseSensitive)
    {
        if (inner.empty() || caseSensitive)
            return name.find(inner) != std::string_view::npos;
        // The inner parts of these patterns start with a dot or another mark that has no case: the
        // places to try are found as find() finds them.
        const char first = inner[0];
        if (LowerAscii(first) != first || (first >= 'a' && first <= 'z')) {
            for (std::size_t i = 0; i + inner.size() <= name.size(); ++i)
                if (StartsWith(name.substr(i), inner, false))
                    return true;
            return false;
        }
        for (std::size_t i = name.find(first); i != std::string_view::npos && i + inner.size() <= name.size();
             i = name.find(first, i + 1))
            if (StartsWith(name.substr(i), inner, false))
                return true;
        return false;
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
    bool FAnswers = false; // TypeOfKey answers: one database
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
    std::uint64_t FWholeLengths[256] = {};            // by first letter, lowered: bit n for a length n
    std::vector<const TGlob*> FGlobsByFirst[256];     // the whole-name globs by first letter, lowered
    std::vector<const TGlob*> FGlobsByLast[256];      // those starting with "*" by their last
    bool FGlobAnywhere = false;                       // a glob with neither: every name must be tried
    std::unordered_map<std::string_view, std::vector<TTypeOfTail>> FTypes; // ".txt", ".tar.gz" -> types
    std::vector<TGlob> FExtGlobs;                     // "*.[1-9]": wildcards after the only dot
    std::unordered_set<std::string_view> FCaseTails;  // ".c": last extensions of patterns that heed case
    std::size_t FMostDots = 0;                        // in a literal tail pattern
};

} // namespace

bool TypeFollowsFromName(std::uint32_t attributes)
{
    return attributes & (faDirectory | faArchive);
}

namespace
{

// The description of a MIME type in the user's language, as QMimeType::comment() gives it, read
// from the database's file for the type without parsing all its other fields and languages into
// objects (a tenth of the time, which the first sort by Type of many kinds of files waits for).
// Empty when that file cannot be read so: the database then answers.
QString CommentOf(const QString& mimeName)
{
    const QString path = QStandardPaths::locate(QStandardPaths::GenericDataLocation, QStringLiteral("mime/") + mimeName + QStringLiteral(".xml"));
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly) || file.size() > (1 << 22))
        return {};
    // The user's languages, then the text without a language, each also without its country: the
    // first of these that has a text gives it.
    std::vector<QByteArray> wanted;
    QStringList languages{QLocale().name()};
    languages << QLocale().uiLanguages() << QStringLiteral("default");
    for (const QString& language : std::as_const(languages)) {
        const QString lang = language == QLatin1String("C") ? QStringLiteral("en_US") : language;
        wanted.push_back(lang.toUtf8());
        if (const qsizetype cut = lang.indexOf(QLatin1Char('_')); cut >= 0)
            wanted.push_back(lang.left(cut).toUtf8());
    }
    const QByteArray bytes = file.readAll();
    const QByteArrayView xml(bytes);
    std::size_t best = wanted.size();
    QByteArrayView bestText;
    for (qsizetype at = xml.indexOf("<comment"); at >= 0; at = xml.indexOf("<comment", at + 1)) {
        const qsizetype close = xml.indexOf('>', at);
        if (close < 0)
            return {};
        const QByteArrayView head = xml.sliced(at + 8, close - at - 8);
        if (!head.isEmpty() && head[0] != ' ')
            continue; // another element whose name starts so
        QByteArrayView language("default");
        if (const qsizetype lang = head.indexOf("xml:lang="); lang >= 0) {
            const char quote = head.size() > lang + 9 ? head[lang + 9] : 0;
            const qsizetype end = quote ? head.indexOf(quote, lang + 10) : -1;
            if ((quote != '"' && quote != '\'') || end < 0)
                return {};
            language = head.sliced(lang + 10, end - lang - 10);
        }
        const qsizetype stop = xml.indexOf("</comment>", close);
        if (stop < 0)
            return {};
        const QByteArrayView text = xml.sliced(close + 1, stop - close - 1);
        if (text.contains('<'))
            return {}; // markup inside: the database's own reader knows what it makes of it
        for (std::size_t i = 0; i < best; ++i)
            if (language == wanted[i] && !text.isEmpty()) {
                best = i;
                bestText = text;
                break;
            }
    }
    if (best == wanted.size())
        return {};
    QByteArray text;
    for (qsizetype i = 0; i < bestText.size(); ++i) {
        if (bestText[i] != '&') {
            text += bestText[i];
            continue;
        }
        const qsizetype semicolon = bestText.indexOf(';', i);
        if (semicolon < 0)
            return {};
        const QByteArrayView entity = bestText.sliced(i + 1, semicolon - i - 1);
        static const std::pair<const char*, char> named[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
        const auto known = std::find_if(std::begin(named), std::end(named), [&](const auto& n) { return entity == n.first; });
        if (known == std::end(named))
            return {};
        text += known->second;
        i = semicolon;
    }
    return QString::fromUtf8(text);
}

// Types by a short tail of names (at most 32 bytes, in lower case), in a table with open
// addressing that compares the tail's bytes as four words: no hashing of strings per row.
class TTailTable
{
public:
    static constexpr std::size_t Longest = 32;
    struct TSlot
    {
        std::uint64_t Key[4] = {}; // the tail's bytes; no name holds NUL, so the padding tells no lie
        const TResultModel::TShellType* Type = nullptr; // null: this tail alone does not decide
        bool Used = false;
    };

    /// The slot of `tail` (at most Longest bytes), made when new (Used is then false).
    TSlot& Find(std::string_view tail)
    {
        std::uint64_t key[4] = {};
        std::memcpy(key, tail.data(), tail.size());
        if ((FUsed + 1) * 2 > FSlots.size())
            Grow();
        return Place(key);
    }

    void Use(TSlot& slot)
    {
        slot.Used = true;
        ++FUsed;
    }

private:
    TSlot& Place(const std::uint64_t (&key)[4])
    {
        const std::uint64_t h = (key[0] ^ (key[1] * 0x9E3779B97F4A7C15ULL) ^ (key[2] * 0xD6E8FEB86659FD93ULL) ^ key[3]) *
                                0xC2B2AE3D27D4EB4FULL;
        const std::size_t mask = FSlots.size() - 1;
        for (std::size_t i = static_cast<std::size_t>(h ^ (h >> 29)) & mask;; i = (i + 1) & mask) {
            TSlot& slot = FSlots[i];
            if (!slot.Used) {
                std::memcpy(slot.Key, key, sizeof key);
                return slot;
            }
            if (std::memcmp(slot.Key, key, sizeof key) == 0)
                return slot;
        }
    }

    void Grow()
    {
        std::vector<TSlot> old(std::max<std::size_t>(256, FSlots.size() * 2));
        old.swap(FSlots);
        for (const TSlot& slot : old)
            if (slot.Used)
                Place(slot.Key) = slot;
    }

    std::vector<TSlot> FSlots;
    std::size_t FUsed = 0;
};

// The types of the rows whose names decide them. Most rows are typed by their extension alone,
// and most of the rest (".gz", which ".tar.gz" also ends with) by their last two: the tables of
// tails answer those; the others go by KeyOf's key.
class TTypeCache
{
public:
    const TResultModel::TShellType& Of(std::string_view name, bool folder)
    {
        if (folder)
            return Folder();
        std::string_view extension;
        char buffer[TTailTable::Longest];
        if (FKeys.PlainExtension(name, extension, buffer)) {
            TTailTable::TSlot& slot = FByExtension.Find(extension);
            if (!slot.Used) {
                FByExtension.Use(slot);
                if (FKeys.ExtensionDecides(extension))
                    slot.Type = &Resolve(extension, true, name);
            }
            if (slot.Type)
                return *slot.Type;
            // No pattern has more than two dots: the last two parts decide, unless case counts.
            const std::size_t dot = name.size() - extension.size();
            const void* const before = dot > 0 ? memrchr(name.data(), '.', dot) : nullptr;
            const std::size_t from = before ? static_cast<std::size_t>(static_cast<const char*>(before) - name.data()) : dot;
            if (FKeys.TwoPartsDecide(extension) && name.size() - from <= sizeof buffer) {
                for (std::size_t i = from; i < name.size(); ++i)
                    buffer[i - from] = LowerAscii(name[i]);
                const std::string_view tail(buffer, name.size() - from);
                TTailTable::TSlot& two = FByTwoParts.Find(tail);
                if (!two.Used) {
                    FByTwoParts.Use(two);
                    two.Type = &Resolve(tail, true, name);
                }
                return *two.Type;
            }
        }
        bool literal = false;
        const std::string_view key = FKeys.KeyOf(name, literal);
        if (const auto found = FByKey.find(key); found != FByKey.end())
            return *found->second;
        const TResultModel::TShellType& type = Resolve(key, literal, name);
        FByKey.emplace(FKeyStore.emplace_back(key), &type);
        return type;
    }

private:
    static char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

    // The type of a key: from the patterns' table where it can tell, else from the database, asked
    // with the name itself. Each MIME type's description and icon are worked out once.
    const TResultModel::TShellType& Resolve(std::string_view key, bool literal, std::string_view name)
    {
        const QMimeDatabase db;
        QString mimeName;
        QMimeType type;
        if (const std::string_view known = literal ? FKeys.TypeOfKey(key) : std::string_view(); !known.empty()) {
            mimeName = QString::fromLatin1(known.data(), static_cast<qsizetype>(known.size()));
        } else {
            type = db.mimeTypeForFile(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())),
                                      QMimeDatabase::MatchExtension);
            if (!type.isValid())
                return FNone;
            mimeName = type.name();
        }
        if (const auto found = FByMime.find(mimeName); found != FByMime.end())
            return *found->second;
        if (!type.isValid())
            type = db.mimeTypeForName(mimeName);
        const TResultModel::TShellType& shell = type.isValid() ? FTypes.emplace_back(Shell(type)) : FNone;
        FByMime.emplace(mimeName, &shell);
        return shell;
    }

    const TResultModel::TShellType& Folder()
    {
        if (!FFolder) {
            const QMimeType type = QMimeDatabase().mimeTypeForName(QStringLiteral("inode/directory"));
            FFolder = type.isValid() ? &FTypes.emplace_back(Shell(type)) : &FNone;
        }
        return *FFolder;
    }

    static TResultModel::TShellType Shell(const QMimeType& type)
    {
        return {MimeComment(type), GetSystemImageList().IndexOf(type.name(), type.iconName(), type.genericIconName())};
    }

    const TNameKeys FKeys;
    TTailTable FByExtension; // ".txt"
    TTailTable FByTwoParts;  // ".tar.gz", ".1.gz"
    std::deque<std::string> FKeyStore; // never moves: FByKey views into it
    std::unordered_map<std::string_view, const TResultModel::TShellType*> FByKey;
    std::unordered_map<QString, const TResultModel::TShellType*> FByMime;
    std::deque<TResultModel::TShellType> FTypes; // never moves: the tables point into it
    const TResultModel::TShellType FNone;
    const TResultModel::TShellType* FFolder = nullptr;
};

} // namespace

QString MimeComment(const QMimeType& type)
{
    const QString comment = CommentOf(type.name());
    return comment.isEmpty() ? type.comment() : comment;
}

// A folder's or regular file's type follows from what the row already knows (the kind, the name),
// and is looked up once per name key; its description and icon once per type. Any other kind of
// entry (a device, a FIFO, a link to nothing) is asked of the file system as it is now.
TResultModel::TShellType ShellTypeOfRow(std::string_view path, std::uint32_t attributes)
{
    if (!TypeFollowsFromName(attributes)) // asked of the exact file: its bytes, not the shown text
        return {GetFileTypeName(std::string(path)), GetFileIconIndex(std::string(path))};
    static TTypeCache cache;
    const void* const slash = memrchr(path.data(), '/', path.size());
    const std::size_t from = slash ? static_cast<std::size_t>(static_cast<const char*>(slash) - path.data()) + 1 : 0;
    return cache.Of(path.substr(from), attributes & faDirectory);
}

} // namespace trovex

// SPDX-License-Identifier: MIT
// Documents that qpdf protected (tests/data/pdfsecurity, made by its make.sh) must decrypt to
// what qpdf itself decrypted them to: the twin <name>.decrypted.pdf beside each one.
#include "readers/PdfSecurity.h"

#include "platform/Crypto.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trovex
{
namespace
{

// Just enough of a PDF object reader for qpdf's plain layout (no object streams, every object at
// the start of a line): dictionaries, arrays, names, numbers, strings, references.
struct TObject
{
    enum class TKind { Null, Bool, Number, Name, String, Array, Dict, Ref } Kind = TKind::Null;
    long long Number = 0; // also a reference's object number, and 1 for true
    std::string Text;     // a name's or a string's bytes
    std::vector<TObject> Items;
    std::map<std::string, TObject> Entries;

    const TObject& operator[](const std::string& key) const
    {
        static const TObject null;
        auto it = Entries.find(key);
        return it == Entries.end() ? null : it->second;
    }
    bool Has(const std::string& key) const { return Entries.count(key) != 0; }
};

class TReader
{
public:
    TReader(std::string_view text, std::size_t at)
        : FText(text)
        , FAt(at)
    {
    }

    TObject Read()
    {
        SkipSpace();
        TObject o;
        if (Take("<<")) {
            o.Kind = TObject::TKind::Dict;
            while (SkipSpace(), !Take(">>")) {
                const TObject key = Read();
                o.Entries[key.Text] = Read();
            }
        } else if (Take("[")) {
            o.Kind = TObject::TKind::Array;
            while (SkipSpace(), !Take("]"))
                o.Items.push_back(Read());
        } else if (Take("/")) {
            o.Kind = TObject::TKind::Name;
            while (FAt < FText.size() && !Delimiter(FText[FAt]))
                o.Text += FText[FAt++];
        } else if (Take("<")) {
            o.Kind = TObject::TKind::String;
            std::string digits;
            while (!Take(">"))
                if (std::isxdigit(static_cast<unsigned char>(FText[FAt++])))
                    digits += FText[FAt - 1];
            if (digits.size() % 2)
                digits += '0';
            for (std::size_t i = 0; i < digits.size(); i += 2)
                o.Text.push_back(static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
        } else if (Take("(")) {
            o.Kind = TObject::TKind::String;
            o.Text = LiteralString();
        } else if (Take("true")) {
            o.Kind = TObject::TKind::Bool;
            o.Number = 1;
        } else if (Take("false")) {
            o.Kind = TObject::TKind::Bool;
        } else if (Take("null")) {
        } else {
            o.Kind = TObject::TKind::Number;
            o.Number = ReadInteger();
            // "N G R" is a reference.
            const std::size_t save = FAt;
            SkipSpace();
            if (FAt < FText.size() && std::isdigit(static_cast<unsigned char>(FText[FAt]))) {
                ReadInteger();
                SkipSpace();
                if (Take("R")) {
                    o.Kind = TObject::TKind::Ref;
                    return o;
                }
            }
            FAt = save;
        }
        return o;
    }

    std::size_t At() const { return FAt; }

private:
    static bool Delimiter(char c) { return std::string_view(" \t\r\n\f/<>[]()").find(c) != std::string_view::npos; }

    void SkipSpace()
    {
        while (FAt < FText.size() && std::string_view(" \t\r\n\f").find(FText[FAt]) != std::string_view::npos)
            ++FAt;
    }

    bool Take(std::string_view token)
    {
        if (FText.substr(FAt, token.size()) != token)
            return false;
        FAt += token.size();
        return true;
    }

    long long ReadInteger()
    {
        std::size_t end = FAt;
        while (end < FText.size() && (std::isdigit(static_cast<unsigned char>(FText[end])) || FText[end] == '-' ||
                                      FText[end] == '+' || FText[end] == '.'))
            ++end;
        const long long value = std::stoll(std::string(FText.substr(FAt, end - FAt)));
        FAt = end;
        return value;
    }

    std::string LiteralString()
    {
        std::string out;
        for (int depth = 0;;) {
            const char c = FText.at(FAt++);
            if (c == ')' && depth-- == 0)
                return out;
            if (c == '(')
                ++depth;
            if (c != '\\') {
                out += c;
                continue;
            }
            const char e = FText.at(FAt++);
            if (e >= '0' && e <= '7') {
                int value = e - '0';
                for (int n = 1; n < 3 && FText[FAt] >= '0' && FText[FAt] <= '7'; ++n)
                    value = value * 8 + (FText[FAt++] - '0');
                out += static_cast<char>(value);
            } else if (e == '\r' || e == '\n') {
                if (e == '\r' && FText[FAt] == '\n')
                    ++FAt;
            } else {
                const std::string_view from = "nrtbf", to = "\n\r\t\b\f";
                const std::size_t k = from.find(e);
                out += k == std::string_view::npos ? e : to[k];
            }
        }
    }

    std::string_view FText;
    std::size_t FAt;
};

std::string DataFolder()
{
    std::string here = __FILE__;
    const std::size_t slash = here.find_last_of("/\\");
    return here.substr(0, slash + 1) + "../data/pdfsecurity/";
}

class TDocument
{
public:
    explicit TDocument(const std::string& name)
    {
        std::ifstream in(DataFolder() + name, std::ios::binary);
        FBytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        const std::size_t at = FBytes.rfind("trailer");
        if (at != std::string::npos)
            Trailer = TReader(FBytes, at + 7).Read();
    }

    bool Loaded() const { return Trailer.Kind == TObject::TKind::Dict; }

    /// Object `number` (generation 0, all qpdf writes); a stream's data goes to `stream`.
    TObject Object(long long number, std::string* stream = nullptr) const
    {
        const std::string head = "\n" + std::to_string(number) + " 0 obj";
        const std::size_t at = FBytes.find(head);
        if (at == std::string::npos)
            return {};
        TReader reader(FBytes, at + head.size());
        TObject o = reader.Read();
        if (stream) {
            std::size_t data = FBytes.find("stream", reader.At());
            data += FBytes.compare(data + 6, 2, "\r\n") == 0 ? 8 : 7;
            *stream = FBytes.substr(data, static_cast<std::size_t>(o["Length"].Number));
        }
        return o;
    }

    TObject Resolve(const TObject& o) const { return o.Kind == TObject::TKind::Ref ? Object(o.Number) : o; }

    /// The object number of the first page's content stream.
    long long ContentsNumber() const
    {
        const TObject pages = Resolve(Resolve(Trailer["Root"])["Pages"]);
        return Resolve(pages["Kids"].Items.at(0))["Contents"].Number;
    }

    std::string FirstId() const { return Trailer["ID"].Items.at(0).Text; }

    TObject Trailer;

private:
    std::string FBytes;
};

// The /Encrypt dictionary as the extractor's caller hands it over.
TPdfEncryption EncryptionOf(const TDocument& doc)
{
    const TObject dict = doc.Resolve(doc.Trailer["Encrypt"]);
    TPdfEncryption e;
    e.Filter = dict["Filter"].Text;
    e.V = static_cast<int>(dict["V"].Number);
    e.R = static_cast<int>(dict["R"].Number);
    if (dict.Has("Length"))
        e.Length = static_cast<int>(dict["Length"].Number);
    e.O = dict["O"].Text;
    e.U = dict["U"].Text;
    e.OE = dict["OE"].Text;
    e.UE = dict["UE"].Text;
    e.Perms = dict["Perms"].Text;
    e.P = static_cast<std::int32_t>(dict["P"].Number);
    if (dict.Has("EncryptMetadata"))
        e.EncryptMetadata = dict["EncryptMetadata"].Number != 0;
    if (dict.Has("CF")) {
        auto method = [&](const char* key) -> std::string {
            const std::string filter = dict.Has(key) ? dict[key].Text : "Identity";
            if (filter == "Identity")
                return filter;
            const TObject& cf = dict["CF"][filter];
            return cf.Has("CFM") ? cf["CFM"].Text : "None";
        };
        e.StmMethod = method("StmF");
        e.StrMethod = method("StrF");
        e.EffMethod = dict.Has("EFF") ? method("EFF") : e.StmMethod;
    }
    return e;
}

const char* const OwnerOnly[] = {
    "rc4-40", "rc4-128", "rc4-128-v4", "aes-128", "aes-128-clear-metadata", "aes-256-r5", "aes-256",
};

// Every string of the information dictionary and the page's content stream decrypt to the bytes
// qpdf decrypted them to.
TEST(PdfSecurityTest, OwnerOnlyDocumentsDecryptAsQpdfDoes)
{
    for (const char* name : OwnerOnly) {
        SCOPED_TRACE(name);
        const TDocument doc(std::string(name) + ".pdf");
        const TDocument twin(std::string(name) + ".decrypted.pdf");
        ASSERT_TRUE(doc.Loaded() && twin.Loaded()) << "missing under " << DataFolder();
        ASSERT_FALSE(twin.Trailer.Has("Encrypt"));

        const TPdfEncryption e = EncryptionOf(doc);
        const std::optional<TPdfDecryptor> d = TPdfDecryptor::Open(e, doc.FirstId());
        ASSERT_TRUE(d.has_value());
        EXPECT_EQ(d->EncryptsMetadata(), e.EncryptMetadata);

        const auto infoNumber = static_cast<std::uint32_t>(doc.Trailer["Info"].Number);
        const TObject info = doc.Resolve(doc.Trailer["Info"]);
        const TObject plainInfo = twin.Resolve(twin.Trailer["Info"]);
        ASSERT_EQ(plainInfo.Entries.size(), 3u);
        for (const auto& [key, plain] : plainInfo.Entries) {
            ASSERT_TRUE(info.Has(key)) << key;
            EXPECT_NE(info[key].Text, plain.Text) << key << " was not encrypted";
            EXPECT_EQ(d->DecryptString(info[key].Text, infoNumber, 0), plain.Text) << key;
        }

        std::string stream, plainStream;
        const auto contents = static_cast<std::uint32_t>(doc.ContentsNumber());
        doc.Object(contents, &stream);
        twin.Object(twin.ContentsNumber(), &plainStream);
        ASSERT_NE(plainStream.find(" Tj"), std::string::npos);
        EXPECT_EQ(d->DecryptStream(stream, contents, 0), plainStream);
        // Each object has its own key (or, with AES-256, its own IV): the wrong number garbles it.
        if (e.R < 5) {
            EXPECT_NE(d->DecryptStream(stream, contents + 1, 0), plainStream);
        }
    }
}

// A document with a user password, or one whose values were changed so that the empty password no
// longer matches, does not open; neither do handlers and methods that are not supported.
TEST(PdfSecurityTest, DocumentsThatNeedAPasswordOrSupportDoNotOpen)
{
    for (const char* name : {"user-password-rc4", "user-password-aes-256"}) {
        const TDocument doc(std::string(name) + ".pdf");
        ASSERT_TRUE(doc.Loaded()) << name;
        EXPECT_FALSE(TPdfDecryptor::Open(EncryptionOf(doc), doc.FirstId())) << name;
    }

    struct Case
    {
        const char* file;
        const char* change;
        void (*apply)(TPdfEncryption&, std::string& id);
    };
    const Case cases[] = {
        // The key of revisions 2 to 4 is made from the ID, /O, /P and /EncryptMetadata.
        {"rc4-40", "another ID", [](TPdfEncryption&, std::string& id) { id[0] ^= 1; }},
        {"rc4-128", "another /P", [](TPdfEncryption& e, std::string&) { e.P ^= 4; }},
        {"rc4-128", "another /O", [](TPdfEncryption& e, std::string&) { e.O[31] ^= 1; }},
        {"aes-128", "metadata said to be in the clear",
         [](TPdfEncryption& e, std::string&) { e.EncryptMetadata = false; }},
        {"aes-128-clear-metadata", "metadata said to be encrypted",
         [](TPdfEncryption& e, std::string&) { e.EncryptMetadata = true; }},
        {"rc4-128", "a 40-bit revision 2", [](TPdfEncryption& e, std::string&) { e.R = 2; }},
        {"aes-256", "another /U hash", [](TPdfEncryption& e, std::string&) { e.U[0] ^= 1; }},
        {"aes-256", "another /U salt", [](TPdfEncryption& e, std::string&) { e.U[32] ^= 1; }},
        {"aes-256", "revision 5's hash", [](TPdfEncryption& e, std::string&) { e.R = 5; }},
        {"aes-256-r5", "revision 6's hash", [](TPdfEncryption& e, std::string&) { e.R = 6; }},
        {"aes-256", "/U cut short", [](TPdfEncryption& e, std::string&) { e.U.resize(40); }},
        {"aes-256", "no /UE", [](TPdfEncryption& e, std::string&) { e.UE.clear(); }},
        // Not supported.
        {"aes-128", "another handler", [](TPdfEncryption& e, std::string&) { e.Filter = "Other"; }},
        {"aes-128", "an unknown method", [](TPdfEncryption& e, std::string&) { e.StmMethod = "AESV9"; }},
        {"aes-128", "AES-256 with a 128-bit key", [](TPdfEncryption& e, std::string&) { e.StrMethod = "AESV3"; }},
        {"rc4-128", "version 3", [](TPdfEncryption& e, std::string&) { e.V = 3; }},
        {"rc4-128", "revision 1", [](TPdfEncryption& e, std::string&) { e.R = 1; }},
        {"aes-256", "revision 7", [](TPdfEncryption& e, std::string&) { e.R = 7; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + ": " + c.change);
        const TDocument doc(std::string(c.file) + ".pdf");
        ASSERT_TRUE(doc.Loaded());
        TPdfEncryption e = EncryptionOf(doc);
        std::string id = doc.FirstId();
        ASSERT_TRUE(TPdfDecryptor::Open(e, id)); // the unchanged document opens
        c.apply(e, id);
        EXPECT_FALSE(TPdfDecryptor::Open(e, id));
    }
}

// AES strings: the IV comes first, well-formed padding goes, malformed padding and a trailing
// partial block do not break the rest, and data without a whole IV decrypts to nothing.
TEST(PdfSecurityTest, AesDataEdges)
{
    for (const char* name : {"aes-128", "aes-256"}) {
        SCOPED_TRACE(name);
        const TDocument doc(std::string(name) + ".pdf");
        const TDocument twin(std::string(name) + ".decrypted.pdf");
        ASSERT_TRUE(doc.Loaded() && twin.Loaded());
        const std::optional<TPdfDecryptor> d = TPdfDecryptor::Open(EncryptionOf(doc), doc.FirstId());
        ASSERT_TRUE(d);
        const auto object = static_cast<std::uint32_t>(doc.Trailer["Info"].Number);
        const TObject info = doc.Resolve(doc.Trailer["Info"]);
        const TObject plainInfo = twin.Resolve(twin.Trailer["Info"]);

        // A whole block of text is followed by a whole block of padding: IV, text, padding.
        const std::string block = info["Subject"].Text;
        const std::string plain = plainInfo["Subject"].Text;
        ASSERT_EQ(plain.size(), 16u);
        ASSERT_EQ(block.size(), 48u);
        // Without the padding block the text's own last byte is no valid padding: it stays.
        EXPECT_EQ(d->DecryptString(block.substr(0, 32), object, 0), plain);
        EXPECT_EQ(d->DecryptString(block + "tail", object, 0), plain);
        EXPECT_EQ(d->DecryptString(block.substr(0, 15), object, 0), "");
        EXPECT_EQ(d->DecryptString("", object, 0), "");

        // Text of other lengths: the padding is as long as what is missing from the last block.
        const std::string title = plainInfo["Title"].Text;
        ASSERT_NE(title.size() % 16, 0u);
        EXPECT_EQ(d->DecryptString(info["Title"].Text, object, 0), title);
    }
}

std::string FromHex(std::string_view hex)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    return out;
}

// The revision 6 hash ends after a number of rounds that its own output decides; across the 100
// documents of r6-keys.txt it ends in every way it can. Each line has /U, /UE and the key qpdf
// derived: data encrypted with that key must come out of the decryptor.
TEST(PdfSecurityTest, Revision6KeysMatchQpdf)
{
    std::ifstream in(DataFolder() + "r6-keys.txt");
    const std::string text = "the key of this document";
    std::string padded = text;
    padded.append(16 - text.size() % 16, static_cast<char>(16 - text.size() % 16));
    const std::string iv = "0123456789abcdef";
    int count = 0;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string u, ue, key;
        fields >> u >> ue >> key;
        SCOPED_TRACE("line " + std::to_string(++count));
        TPdfEncryption e;
        e.V = 5;
        e.R = 6;
        e.Length = 256;
        e.U = FromHex(u);
        e.UE = FromHex(ue);
        e.StmMethod = e.StrMethod = "AESV3";
        const std::optional<TPdfDecryptor> d = TPdfDecryptor::Open(e, "");
        ASSERT_TRUE(d);
        const std::string data = iv + crypto::AesCbcEncryptNoPad(FromHex(key), iv, padded);
        EXPECT_EQ(d->DecryptString(data, 7, 0), text);
    }
    EXPECT_EQ(count, 100);
}

// Under the methods "Identity" and "None" (and with no crypt filters at all, from version 4 on)
// the data is left alone.
TEST(PdfSecurityTest, IdentityMethodsLeaveDataAlone)
{
    const TDocument doc("aes-128.pdf");
    ASSERT_TRUE(doc.Loaded());
    const std::string data = doc.Resolve(doc.Trailer["Info"])["Title"].Text;
    for (const char* method : {"Identity", "None", ""}) {
        SCOPED_TRACE(std::string("method \"") + method + "\"");
        TPdfEncryption e = EncryptionOf(doc);
        e.StrMethod = e.StmMethod = method;
        const std::optional<TPdfDecryptor> d = TPdfDecryptor::Open(e, doc.FirstId());
        ASSERT_TRUE(d);
        EXPECT_EQ(d->DecryptString(data, 2, 0), data);
        EXPECT_EQ(d->DecryptStream(data, 5, 0), data);
    }
}

} // namespace
} // namespace trovex

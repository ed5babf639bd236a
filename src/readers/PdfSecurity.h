// SPDX-License-Identifier: MIT
// Decryption of PDF documents protected by the standard security handler whose user password is
// empty: those that open without asking, with only an owner password that limits printing,
// copying or editing. RC4 keys of 40 to 128 bits (revisions 2 to 4), AES-128 (revision 4) and
// AES-256 (revisions 5 and 6). A document that asks for a password is not opened.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace trovex
{

/// The values of a document's /Encrypt dictionary, as the caller read them.
struct TPdfEncryption
{
    int V = 0;
    int R = 0;
    int Length = 40; // bits
    std::string O, U, OE, UE, Perms; // the strings' raw bytes
    std::int32_t P = 0;
    bool EncryptMetadata = true;
    // The methods of the crypt filters that /StmF, /StrF and /EFF name: "None", "V2", "AESV2",
    // "AESV3" or "Identity"; "" when the dictionary has no /CF, for the version's default. /EFF's
    // is not used: embedded files are not read.
    std::string StmMethod, StrMethod, EffMethod;
    std::string Filter = "Standard";
};

/// The keys of one opened document. Copyable; its const members may be called from any thread.
/// A failure of the system's cryptography throws std::runtime_error.
class TPdfDecryptor
{
public:
    /// nullopt when the document needs a password, or uses a handler, revision or method not
    /// supported. `firstFileId` is the first string of the trailer's /ID.
    static std::optional<TPdfDecryptor> Open(const TPdfEncryption& e, std::string_view firstFileId);

    /// A string or a stream's data (before its filters are undone) of the object `object`
    /// `generation`. Under the method "None" or "Identity" the data comes back as it is.
    std::string DecryptString(std::string_view data, std::uint32_t object, std::uint16_t generation) const;
    std::string DecryptStream(std::string_view data, std::uint32_t object, std::uint16_t generation) const;
    /// False when the metadata streams were left in the clear (/EncryptMetadata false).
    bool EncryptsMetadata() const { return FEncryptMetadata; }

private:
    enum class TMethod
    {
        None,
        Rc4,
        Aes128,
        Aes256,
    };

    TPdfDecryptor() = default;
    std::string Decrypt(TMethod method, std::string_view data, std::uint32_t object, std::uint16_t generation) const;

    std::string FKey; // the document's key
    TMethod FStringMethod = TMethod::None;
    TMethod FStreamMethod = TMethod::None;
    bool FEncryptMetadata = true;
};

} // namespace trovex

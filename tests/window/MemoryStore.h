// SPDX-License-Identifier: MIT
// A per-user store held in memory, with the registry's rule that reading a value as the wrong type
// fails: what the window core's tests read and write settings through, on every system.
#pragma once

#include <map>
#include <utility>

#include "platform/Store.h"

namespace trovex::test
{

class TMemoryStore : public TKeyStore
{
public:
    void CreateKey(std::string_view key) override { FKeys[std::string(key)]; }
    std::optional<TRegValue> ReadValue(std::string_view key, std::string_view name) const override
    {
        const auto k = FKeys.find(std::string(key));
        if (k == FKeys.end())
            return std::nullopt;
        const auto v = k->second.find(std::string(name));
        return v == k->second.end() ? std::nullopt : std::optional<TRegValue>(v->second);
    }
    std::optional<std::string> ReadString(std::string_view key, std::string_view name) const override
    {
        const std::optional<TRegValue> v = ReadValue(key, name);
        if (v && !v->IsString())
            throw ERegistryError("Invalid data type for '" + std::string(name) + "'");
        return v ? std::optional<std::string>(v->Text) : std::nullopt;
    }
    std::optional<std::int32_t> ReadInteger(std::string_view key, std::string_view name) const override
    {
        const std::optional<TRegValue> v = ReadValue(key, name);
        if (v && v->Type != rtDWord)
            throw ERegistryError("Invalid data type for '" + std::string(name) + "'");
        return v ? std::optional<std::int32_t>(static_cast<std::int32_t>(v->DWord)) : std::nullopt;
    }
    void WriteString(std::string_view key, std::string_view name, std::string_view text) override
    {
        Set(key, name, rtString, text, 0);
    }
    void WriteExpandString(std::string_view key, std::string_view name, std::string_view text) override
    {
        Set(key, name, rtExpandString, text, 0);
    }
    void WriteInteger(std::string_view key, std::string_view name, std::int32_t value) override
    {
        Set(key, name, rtDWord, {}, static_cast<std::uint32_t>(value));
    }
    bool KeyExists(const std::string& key) const { return FKeys.count(key) != 0; }
    std::size_t ValueCount(const std::string& key) const
    {
        const auto k = FKeys.find(key);
        return k == FKeys.end() ? 0 : k->second.size();
    }

private:
    void Set(std::string_view key, std::string_view name, TRegType type, std::string_view text, std::uint32_t dword)
    {
        TRegValue v;
        v.Name = name;
        v.Type = type;
        v.Text = text;
        v.DWord = dword;
        FKeys[std::string(key)][std::string(name)] = std::move(v);
    }

    std::map<std::string, std::map<std::string, TRegValue>> FKeys;
};

} // namespace trovex::test

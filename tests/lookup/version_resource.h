// Builds version resources byte by byte and writes them into copies of an
// executable, for cases a resource compiler cannot express (values ending
// in NULs, short Translation values, strings under another language).
#pragma once
#include <windows.h>
#include <string>
#include <vector>

struct VersionString {
    std::wstring name;
    std::wstring value;  // written whole, embedded NULs included, then one terminator
};

struct VersionStringTable {
    std::wstring key;  // such as L"040904b0"
    std::vector<VersionString> strings;
};

struct VersionResource {
    bool withFixedInfo = true;
    DWORD fileVersionMS = 0x00010002;
    DWORD fileVersionLS = 0x00030004;
    DWORD productVersionMS = 0x00050006;
    DWORD productVersionLS = 0x00070008;
    std::vector<VersionStringTable> tables;
    bool withTranslation = true;
    std::vector<WORD> translation = {0x0409, 0x04B0};  // raw words of the Translation value
};

namespace version_resource_detail {

inline void Align(std::vector<unsigned char>& bytes)
{
    while (bytes.size() % 4)
        bytes.push_back(0);
}

inline void Append(std::vector<unsigned char>& bytes, const void* data, size_t size)
{
    const unsigned char* start = (const unsigned char*)data;
    bytes.insert(bytes.end(), start, start + size);
}

// One node: wLength, wValueLength, wType, key, padding, value, padding,
// children. wLength covers the node and its children, not the padding after.
inline std::vector<unsigned char> Node(const std::wstring& key, WORD type, const void* value, size_t valueBytes,
                                       WORD valueLength, const std::vector<std::vector<unsigned char>>& children)
{
    std::vector<unsigned char> bytes(6, 0);
    Append(bytes, key.c_str(), (key.size() + 1) * sizeof(wchar_t));
    Align(bytes);
    Append(bytes, value, valueBytes);
    for (const std::vector<unsigned char>& child : children) {
        Align(bytes);
        Append(bytes, child.data(), child.size());
    }
    WORD header[3] = {(WORD)bytes.size(), valueLength, type};
    memcpy(bytes.data(), header, sizeof(header));
    return bytes;
}

}  // namespace version_resource_detail

// The VS_VERSIONINFO bytes of a resource.
inline std::vector<unsigned char> BuildVersionResource(const VersionResource& resource)
{
    using namespace version_resource_detail;
    std::vector<std::vector<unsigned char>> sections;
    if (!resource.tables.empty()) {
        std::vector<std::vector<unsigned char>> tables;
        for (const VersionStringTable& table : resource.tables) {
            std::vector<std::vector<unsigned char>> strings;
            for (const VersionString& string : table.strings) {
                std::wstring value = string.value;
                value.push_back(L'\0');
                // A string's value length counts characters, its terminator included.
                strings.push_back(Node(string.name, 1, value.data(), value.size() * sizeof(wchar_t),
                                       (WORD)value.size(), {}));
            }
            tables.push_back(Node(table.key, 1, NULL, 0, 0, strings));
        }
        sections.push_back(Node(L"StringFileInfo", 1, NULL, 0, 0, tables));
    }
    if (resource.withTranslation) {
        size_t bytes = resource.translation.size() * sizeof(WORD);
        std::vector<unsigned char> var = Node(L"Translation", 0, resource.translation.data(), bytes, (WORD)bytes, {});
        sections.push_back(Node(L"VarFileInfo", 1, NULL, 0, 0, {var}));
    }
    VS_FIXEDFILEINFO fixed;
    ZeroMemory(&fixed, sizeof(fixed));
    fixed.dwSignature = VS_FFI_SIGNATURE;
    fixed.dwStrucVersion = VS_FFI_STRUCVERSION;
    fixed.dwFileVersionMS = resource.fileVersionMS;
    fixed.dwFileVersionLS = resource.fileVersionLS;
    fixed.dwProductVersionMS = resource.productVersionMS;
    fixed.dwProductVersionLS = resource.productVersionLS;
    fixed.dwFileFlagsMask = VS_FFI_FILEFLAGSMASK;
    fixed.dwFileOS = VOS_NT_WINDOWS32;
    fixed.dwFileType = VFT_APP;
    size_t fixedBytes = resource.withFixedInfo ? sizeof(fixed) : 0;
    return Node(L"VS_VERSION_INFO", 0, &fixed, fixedBytes, (WORD)fixedBytes, sections);
}

// Copies `source` to `target` and puts the resource in as version resource 1.
inline bool WriteVersionedCopy(const std::wstring& source, const std::wstring& target, const VersionResource& resource)
{
    if (!CopyFileW(source.c_str(), target.c_str(), FALSE))
        return false;
    std::vector<unsigned char> bytes = BuildVersionResource(resource);
    HANDLE update = BeginUpdateResourceW(target.c_str(), FALSE);
    if (!update)
        return false;
    BOOL added = UpdateResourceW(update, RT_VERSION, MAKEINTRESOURCEW(1), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                 bytes.data(), (DWORD)bytes.size());
    return EndUpdateResourceW(update, !added) && added;
}

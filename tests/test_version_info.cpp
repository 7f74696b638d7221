// Version fields: a resource as the resource compiler writes it
// (version_sample.exe), none at all (version_blank.exe), and resources
// written byte by byte into copies of version_blank.exe.
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include "core/version_info.h"
#include "lookup/version_resource.h"
#include "test_support.h"

namespace {

const wchar_t* const stringNames[] = {L"FileDescription", L"ProductName", L"CompanyName", L"FileVersion"};

std::string Narrow(const std::wstring& text)
{
    return NarrowUtf8(text);
}

class VersionInfo : public testing::Test {
protected:
    void SetUp() override
    {
        CreateDirectoryW(L"C:\\tavrowen-test", NULL);
        CreateDirectoryW(L"C:\\tavrowen-test\\version", NULL);
        memset(&block, 0x5A, sizeof(block));  // garbage: the load must clear it
    }
    void TearDown() override
    {
        FreeVersionInfo(&block);
        for (const std::wstring& path : made)
            DeleteFileW(path.c_str());
    }
    // A copy of version_blank.exe carrying `resource`, loaded into `block`.
    void LoadBuilt(const VersionResource& resource)
    {
        std::wstring path = L"C:\\tavrowen-test\\version\\built" + std::to_wstring(made.size()) + L".exe";
        made.push_back(path);
        ASSERT_TRUE(WriteVersionedCopy(BinPath(L"version_blank.exe"), path, resource))
            << "cannot write a version resource into " << Narrow(path);
        LoadVersionInfo(&block, path.c_str());
        ASSERT_TRUE(block.loaded);
    }
    // The value of a string query, or "(refused)".
    std::string Query(const wchar_t* name)
    {
        wchar_t out[VERSION_STRING_CAPACITY + 1];
        wcscpy(out, L"(refused)");
        out[VERSION_STRING_CAPACITY] = L'#';
        bool found = QueryVersionString(&block, name, out);
        EXPECT_EQ(L'#', out[VERSION_STRING_CAPACITY]) << "written past the buffer for " << Narrow(name);
        out[VERSION_STRING_CAPACITY] = L'\0';
        if (!found) {
            EXPECT_STREQ(L"(refused)", out) << "a refused query changed the buffer for " << Narrow(name);
        }
        return found ? Narrow(out) : "(refused)";
    }
    static VersionResource WithDescription(const std::wstring& value)
    {
        VersionResource resource;
        resource.tables = {{L"040904b0", {{L"FileDescription", value}}}};
        return resource;
    }
    VersionInfoBlock block;
    std::vector<std::wstring> made;
};

TEST_F(VersionInfo, NoResourceLoadsNothing)
{
    const std::wstring paths[] = {BinPath(L"version_blank.exe"), L"C:\\tavrowen-test\\version\\missing.exe"};
    for (const std::wstring& path : paths) {
        memset(&block, 0x5A, sizeof(block));
        LoadVersionInfo(&block, path.c_str());
        EXPECT_FALSE(block.loaded) << Narrow(path);
        EXPECT_FALSE(block.hasTranslation) << Narrow(path);
        EXPECT_EQ(nullptr, block.data) << Narrow(path);
        EXPECT_EQ(nullptr, block.fixedInfo) << Narrow(path);
        for (const wchar_t* name : stringNames)
            EXPECT_EQ("(refused)", Query(name)) << Narrow(path);
        FreeVersionInfo(&block);  // freeing a block without data is harmless
        EXPECT_EQ(nullptr, block.data);
    }
}

TEST_F(VersionInfo, ResourceFromTheResourceCompiler)
{
    LoadVersionInfo(&block, BinPath(L"version_sample.exe").c_str());
    ASSERT_TRUE(block.loaded);
    ASSERT_TRUE(block.hasTranslation);
    ASSERT_NE(nullptr, block.data);
    ASSERT_NE(nullptr, block.translation);
    EXPECT_EQ(0x0409, block.translation[0]);
    EXPECT_EQ(0x04B0, block.translation[1]);
    ASSERT_NE(nullptr, block.fixedInfo);
    EXPECT_EQ(0x00010002u, block.fixedInfo->dwFileVersionMS);
    EXPECT_EQ(0x00030004u, block.fixedInfo->dwFileVersionLS);

    EXPECT_EQ("  Sample description", Query(L"FileDescription"));  // trailing blanks go, leading stay
    EXPECT_EQ("Sample Product", Query(L"ProductName"));
    EXPECT_EQ("Sample & Co", Query(L"CompanyName"));
    EXPECT_EQ("1.2.3.4 (sample)", Query(L"FileVersion"));
    EXPECT_EQ("(refused)", Query(L"LegalCopyright"));

    FreeVersionInfo(&block);
    EXPECT_EQ(nullptr, block.data);
    EXPECT_FALSE(block.loaded);
    EXPECT_EQ("(refused)", Query(L"ProductName"));
}

TEST_F(VersionInfo, TrailingBlanksAndNulsAreTrimmedOtherWhiteSpaceStays)
{
    LoadBuilt(WithDescription(std::wstring(L"  Leading kept\t  \0 \0\0", 21)));
    EXPECT_EQ("  Leading kept\t", Query(L"FileDescription"));
}

TEST_F(VersionInfo, ValuesOfBlanksOnlyOrNothingAreEmptyAndFound)
{
    VersionResource resource;
    resource.tables = {{L"040904b0", {{L"FileDescription", L"     "}, {L"ProductName", L""},
                                      {L"CompanyName", std::wstring(L" \0 \0", 4)}}}};
    LoadBuilt(resource);
    EXPECT_EQ("", Query(L"FileDescription"));
    EXPECT_EQ("", Query(L"ProductName"));
    EXPECT_EQ("", Query(L"CompanyName"));
}

TEST_F(VersionInfo, ValuesUpTo511CharactersAfterTrimmingFit)
{
    VersionResource resource;
    resource.tables = {{L"040904b0",
                        {{L"FileDescription", std::wstring(511, L'x')},
                         {L"ProductName", std::wstring(512, L'y')},
                         {L"CompanyName", std::wstring(511, L'z') + L"   "},
                         {L"FileVersion", std::wstring(1000, L'v')}}}};
    LoadBuilt(resource);
    EXPECT_EQ(std::string(511, 'x'), Query(L"FileDescription"));
    EXPECT_EQ("(refused)", Query(L"ProductName"));
    EXPECT_EQ(std::string(511, 'z'), Query(L"CompanyName"));
    EXPECT_EQ("(refused)", Query(L"FileVersion"));
}

TEST_F(VersionInfo, OnlyTheFirstTranslationPairIsAsked)
{
    VersionResource resource;
    resource.translation = {0x0409, 0x04B0, 0x0407, 0x04B0};
    resource.tables = {{L"040704b0", {{L"FileDescription", L"German"}}}};
    LoadBuilt(resource);
    EXPECT_TRUE(block.hasTranslation);
    EXPECT_EQ("(refused)", Query(L"FileDescription"));
}

TEST_F(VersionInfo, LanguageComesBeforeCodePageInTheTableName)
{
    VersionResource resource;
    resource.translation = {0x0407, 0x04E4};
    resource.tables = {{L"04e40407", {{L"ProductName", L"swapped"}}},
                       {L"040704e4", {{L"ProductName", L"right"}}}};
    LoadBuilt(resource);
    EXPECT_EQ("right", Query(L"ProductName"));
}

TEST_F(VersionInfo, NoTranslationKeepsTheFixedVersionButNoStrings)
{
    VersionResource resource = WithDescription(L"unreachable");
    resource.withTranslation = false;
    LoadBuilt(resource);
    EXPECT_FALSE(block.hasTranslation);
    ASSERT_NE(nullptr, block.fixedInfo);
    EXPECT_EQ(0x00010002u, block.fixedInfo->dwFileVersionMS);
    EXPECT_EQ("(refused)", Query(L"FileDescription"));
}

TEST_F(VersionInfo, TranslationShorterThanOnePairCountsAsNone)
{
    VersionResource resource = WithDescription(L"unreachable");
    resource.translation = {0x0409};
    LoadBuilt(resource);
    EXPECT_FALSE(block.hasTranslation);
    EXPECT_EQ("(refused)", Query(L"FileDescription"));
}

TEST_F(VersionInfo, ResourceWithoutFixedInfoStillHasStrings)
{
    VersionResource resource = WithDescription(L"strings only");
    resource.withFixedInfo = false;
    LoadBuilt(resource);
    EXPECT_EQ(nullptr, block.fixedInfo);
    EXPECT_EQ("strings only", Query(L"FileDescription"));
}

}  // namespace

// A running program's version resource is its own to write. Its last value
// claims 0xFFFF characters and the block ends at an unreadable page: the read
// stops at the value's terminator and never reaches the page.
TEST_F(VersionInfo, AValueClaimingMoreThanItsBlockIsReadInsideTheBlock)
{
    VersionResource resource = WithDescription(L"Hostile");
    resource.withTranslation = false;  // so that the value ends the block
    std::vector<unsigned char> bytes = BuildVersionResource(resource);
    const std::wstring key = L"FileDescription";
    auto found = std::search(bytes.begin(), bytes.end(), (const unsigned char*)key.c_str(),
                             (const unsigned char*)(key.c_str() + key.size()));
    ASSERT_TRUE(found != bytes.end());
    found[-4] = found[-3] = 0xFF;  // the node's wValueLength

    const DWORD page = 4096;  // the page size of x86 and x64
    BYTE* pages = (BYTE*)VirtualAlloc(NULL, 2 * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    DWORD old = 0;
    ASSERT_TRUE(pages && VirtualProtect(pages + page, page, PAGE_NOACCESS, &old));
    BYTE* start = pages + ((page - bytes.size()) & ~(size_t)3);
    memcpy(start, bytes.data(), bytes.size());
    static const WORD pair[2] = {0x0409, 0x04B0};
    block = {true, true, start, (DWORD)(pages + page - start), pair, NULL};
    EXPECT_EQ("Hostile", Query(L"FileDescription"));
    ZeroMemory(&block, sizeof(block));  // not ours to free
    VirtualFree(pages, 0, MEM_RELEASE);
}

// Every language's tables in the built program match the English ones: the
// same string ids with the same format arguments in the same order, the same
// menus (items' ids and nesting, one key per letter in each), the same dialogs'
// controls. Read from Tavrowen2.exe itself, loaded as data.
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>
#include <vector>
#include "core/program_language.h"
#include "test_support.h"

namespace {

const LANGID english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
typedef std::map<LANGID, std::map<UINT, std::wstring>> Tables;

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR list)
{
    ((std::vector<LANGID>*)list)->push_back(language);
    return TRUE;
}

std::vector<LANGID> LanguagesOf(HMODULE module, LPCWSTR type, LPCWSTR name)
{
    std::vector<LANGID> found;
    EnumResourceLanguagesW(module, type, name, AddLanguage, (LONG_PTR)&found);
    return found;
}

BOOL CALLBACK AddName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR list)
{
    if (IS_INTRESOURCE(name))
        ((std::vector<UINT>*)list)->push_back((UINT)(ULONG_PTR)name);
    return TRUE;
}

std::vector<UINT> NamesOf(HMODULE module, LPCWSTR type)
{
    std::vector<UINT> names;
    EnumResourceNamesW(module, type, AddName, (LONG_PTR)&names);
    return names;
}

const WORD* Resource(HMODULE module, LPCWSTR type, UINT name, LANGID language, size_t* words)
{
    HRSRC found = FindResourceExW(module, type, MAKEINTRESOURCEW(name), language);
    *words = found ? SizeofResource(module, found) / sizeof(WORD) : 0;
    HGLOBAL loaded = found ? LoadResource(module, found) : NULL;
    return loaded ? (const WORD*)LockResource(loaded) : NULL;
}

// Every language's strings by id.
Tables ReadStrings(HMODULE module)
{
    Tables tables;
    for (UINT block : NamesOf(module, RT_STRING)) {
        for (LANGID language : LanguagesOf(module, RT_STRING, MAKEINTRESOURCEW(block))) {
            size_t words = 0;
            const WORD* walk = Resource(module, RT_STRING, block, language, &words);
            const WORD* end = walk + words;
            for (UINT i = 0; i < 16 && walk && walk < end && walk + 1 + *walk <= end; ++i) {
                if (*walk)
                    tables[language][(block - 1) * 16 + i] = std::wstring((const wchar_t*)walk + 1, *walk);
                walk += 1 + *walk;
            }
        }
    }
    return tables;
}

// The printf conversions in order, "%%" left out.
std::wstring FormatArguments(const std::wstring& text)
{
    std::wstring arguments;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'%')
            continue;
        size_t start = i++;
        while (i < text.size() && wcschr(L"-+ #0123456789.lhI", text[i]))
            ++i;
        if (i < text.size() && text[i] != L'%')
            arguments += text.substr(start, i - start + 1) + L" ";
    }
    return arguments;
}

// A MENU template as "{id id {id} ...}"; a level's keys (&x) must differ.
std::wstring DescribeMenu(const WORD*& walk, const WORD* end, std::wstring* clashes)
{
    std::wstring shape = L"{";
    std::set<wchar_t> keys;
    while (walk < end) {
        WORD flags = *walk++;
        WORD id = (flags & MF_POPUP) ? 0 : *walk++;
        std::wstring text((const wchar_t*)walk);
        walk += text.size() + 1;
        for (size_t i = 0; i + 1 < text.size(); ++i) {
            if (text[i] == L'&' && text[i + 1] != L'&' && !keys.insert(towlower(text[i + 1])).second)
                *clashes += text + L"; ";
            if (text[i] == L'&')
                ++i;
        }
        shape += (flags & MF_POPUP) ? DescribeMenu(walk, end, clashes) : std::to_wstring(id) + L" ";
        if (flags & MF_END)
            break;
    }
    return shape + L"}";
}

const WORD* SkipNameOrOrdinal(const WORD* walk)
{
    if (*walk == 0xFFFF)
        return walk + 2;
    while (*walk)
        ++walk;
    return walk + 1;
}

const WORD* AlignToDword(const WORD* walk, const WORD* start)
{
    return ((const BYTE*)walk - (const BYTE*)start) % 4 ? walk + 1 : walk;
}

// A DIALOGEX template as its font and every control's id and class.
std::wstring DescribeDialog(const WORD* start)
{
    const WORD* walk = start;
    if (walk[0] != 1 || walk[1] != 0xFFFF)
        return L"not a DIALOGEX";
    DWORD style = *(const DWORD*)(walk + 6);
    WORD count = walk[8];
    walk = SkipNameOrOrdinal(SkipNameOrOrdinal(walk + 13));  // menu, class
    walk += wcslen((const wchar_t*)walk) + 1;                // title
    std::wstring shape;
    if ((style & DS_SHELLFONT) == DS_SHELLFONT) {
        shape = std::wstring((const wchar_t*)walk + 3) + L":";
        walk += 3 + shape.size();
    }
    for (WORD i = 0; i < count; ++i) {
        walk = AlignToDword(walk, start);
        DWORD id = *(const DWORD*)(walk + 10);
        const WORD* className = walk + 12;
        shape += std::to_wstring((int)id) + L"/" +
                 (*className == 0xFFFF ? std::to_wstring(className[1]) : std::wstring((const wchar_t*)className)) +
                 L" ";
        walk = SkipNameOrOrdinal(SkipNameOrOrdinal(className));
        walk += 1 + (*walk + 1) / 2;
    }
    return shape;
}

TEST(LanguageTables, EveryLanguageHoldsWhatEnglishHolds)
{
    HMODULE module = LoadLibraryExW(BinPath(L"Tavrowen2.exe").c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module != NULL);
    int count = 0;
    const ProgramLanguageInfo* languages = ProgramLanguages(&count);
    ASSERT_EQ(13, count);
    Tables strings = ReadStrings(module);
    EXPECT_EQ((size_t)count, strings.size()) << "languages with strings";
    const std::map<UINT, std::wstring>& base = strings[english];
    ASSERT_GT(base.size(), 100u);
    for (int l = 0; l < count; ++l) {
        LANGID language = languages[l].id;
        std::map<UINT, std::wstring>& table = strings[language];
        for (const auto& entry : base) {
            auto found = table.find(entry.first);
            if (found == table.end()) {
                ADD_FAILURE() << languages[l].tag << " lacks string " << entry.first;
                continue;
            }
            EXPECT_EQ(FormatArguments(entry.second), FormatArguments(found->second))
                << languages[l].tag << " string " << entry.first;
        }
        for (const auto& entry : table)
            EXPECT_TRUE(base.count(entry.first)) << languages[l].tag << " has extra string " << entry.first;
        for (LPCWSTR type : {RT_MENU, RT_DIALOG}) {
            for (UINT name : NamesOf(module, type)) {
                size_t words = 0, englishWords = 0;
                const WORD* ours = Resource(module, type, name, language, &words);
                const WORD* theirs = Resource(module, type, name, english, &englishWords);
                if (!ours || !theirs) {
                    ADD_FAILURE() << languages[l].tag << " lacks " << (type == RT_MENU ? "menu " : "dialog ") << name;
                    continue;
                }
                std::wstring clashes, englishClashes;
                if (type == RT_DIALOG) {
                    EXPECT_EQ(DescribeDialog(theirs), DescribeDialog(ours)) << languages[l].tag << " dialog " << name;
                    continue;
                }
                const WORD* walk = ours + 2;
                const WORD* englishWalk = theirs + 2;
                EXPECT_EQ(DescribeMenu(englishWalk, theirs + englishWords, &englishClashes),
                          DescribeMenu(walk, ours + words, &clashes))
                    << languages[l].tag << " menu " << name;
                EXPECT_EQ(L"", clashes) << languages[l].tag << " menu " << name << " repeats a key";
            }
        }
    }
    FreeLibrary(module);
}

}  // namespace
